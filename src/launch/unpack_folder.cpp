#include "launch/unpack_folder.h"

#include <cstring>

#include "archive/archive.h"
#include "base/text.h"
#include "os/folder.h"

namespace quarn {

namespace {

constexpr std::uint32_t kSavedFolderSize = 500;

// Windows drops trailing dots and spaces from a component, so "..", ". ."
// and "..." may all climb; only "." is plain.
bool IsDotsOnly(const char* begin, const char* end) {
    if (end - begin == 1 && *begin == '.') return false;
    bool anyDot = false;
    for (const char* p = begin; p != end; ++p) {
        if (*p == '.') anyDot = true;
        else if (*p != ' ') return false;
    }
    return anyDot;
}

// A port number Windows takes after COM or LPT: 1 to 9, or the superscript
// digits one to three, as the narrow name's bytes may spell them in UTF-8 or
// in the Western code page. Gives how many bytes the digit takes, 0 for none.
std::size_t PortDigitLength(const char* p, const char* end) {
    const auto byte = [&](std::ptrdiff_t i) { return static_cast<unsigned char>(p[i]); };
    const auto superscript = [](unsigned char b) { return b == 0xB9 || b == 0xB2 || b == 0xB3; };
    if (end - p >= 1 && byte(0) >= '1' && byte(0) <= '9') return 1;
    if (end - p >= 1 && superscript(byte(0))) return 1;
    if (end - p >= 2 && byte(0) == 0xC2 && superscript(byte(1))) return 2;
    return 0;
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, and COM or LPT with a port number name
// devices whatever follows the first dot, and with trailing spaces.
bool IsDeviceName(const char* begin, const char* end) {
    const char* stem = begin;
    while (stem != end && *stem != '.') ++stem;
    while (stem != begin && stem[-1] == ' ') --stem;
    const std::size_t n = static_cast<std::size_t>(stem - begin);
    char upper[8] = {};
    if (n < 3 || n >= sizeof upper) return false;
    for (std::size_t i = 0; i < n; ++i) upper[i] = AsciiUpper(begin[i]);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (std::strcmp(upper, device) == 0) return true;
    }
    if (std::strncmp(upper, "COM", 3) != 0 && std::strncmp(upper, "LPT", 3) != 0) return false;
    const std::size_t digit = PortDigitLength(begin + 3, stem);
    return digit != 0 && 3 + digit == n;
}

void AddFailure(UnpackResult& result, std::int32_t index, const char* name, std::int32_t code) {
    if (result.failures.size() < kMaxListedFailures)
        result.failures.push_back(UnpackFailure{index, name != nullptr ? name : "", code});
    ++result.failedEntries;
}

// Extracts every entry of an archive opened in the working directory; false
// when the entries cannot even be counted.
bool ExtractAll(ArchiveHandle* archive, UnpackResult& result) {
    ZipEntry entry;
    if (GetEntry(archive, -1, &entry) != ArchOk) return false;
    result.entryCount = static_cast<std::uint32_t>(entry.index);
    ZipEntry record;  // filled by each successful GetEntry
    for (std::int32_t i = 0; i < entry.index; ++i) {
        if (std::int32_t code = GetEntry(archive, i, &record); code != ArchOk) {
            AddFailure(result, i, nullptr, code);
        } else if (!IsSafeEntryName(record.name)) {
            AddFailure(result, i, record.name, UnpackErrUnsafeName);
        } else if (code = ExtractEntry(archive, i, record.name, 0, SourceFileName); code != ArchOk) {
            AddFailure(result, i, record.name, code);
        }
    }
    return true;
}

}  // namespace

bool IsSafeEntryName(const char* name) {
    if (name == nullptr || name[0] == '\0' || IsPathSeparator(name[0])) return false;
    if (std::strchr(name, ':') != nullptr) return false;
    const char* begin = name;
    for (;;) {
        const char* end = begin;
        while (*end != '\0' && !IsPathSeparator(*end)) ++end;
        if (IsDotsOnly(begin, end) || IsDeviceName(begin, end)) return false;
        if (*end == '\0') return true;
        begin = end + 1;
    }
}

UnpackResult UnpackToFolder(const void* block, std::uint32_t size, const char* folder) {
    UnpackResult result;
    char saved[kSavedFolderSize];
    if (folder != nullptr) {
        if (!os::GetCurrentFolder(saved, sizeof saved)) {
            result.openResult = UnpackErrSaveFolder;
            return result;
        }
        os::MakeFolder(folder);  // it may exist already
        // Unpacking anywhere else would spill the files into the folder the
        // caller happens to stand in.
        if (!os::ChangeFolder(folder)) {
            result.openResult = UnpackErrEnterFolder;
            return result;
        }
    }
    // Opened only now: the archive takes the working directory as the base
    // for the folders it creates.
    bool walked = false;
    ArchiveHandle* archive = OpenArchive(block, size, SourceMemory);
    if (archive == nullptr) {
        result.openResult = lastArchiveResult;
    } else {
        walked = ExtractAll(archive, result);
        CloseArchive(archive);
    }
    if (folder != nullptr) os::ChangeFolder(saved);
    result.complete = walked && result.failedEntries == 0;
    return result;
}

const char* UnpackResultText(std::int32_t code) {
    switch (code) {
        case UnpackErrUnsafeName: return "the name could leave the folder or names a device";
        case UnpackErrSaveFolder: return "the working directory cannot be saved";
        case UnpackErrEnterFolder: return "the target folder cannot be entered";
        default: return ArchiveResultText(code);
    }
}

}  // namespace quarn
