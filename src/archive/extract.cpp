#include <cstring>
#include <new>

#include "archive/entry_reader.h"
#include "archive/zip_archive.h"
#include "base/text.h"
#include "os/file.h"
#include "os/folder.h"

namespace quarn {

namespace {

// Folder parts that would lead away from the folder base get no folders.
bool MayCreateFoldersFor(const char* folderPart) {
    if (IsPathSeparator(folderPart[0])) return false;
    if (folderPart[0] != '\0' && folderPart[1] == ':') return false;
    return std::strstr(folderPart, "..\\") == nullptr && std::strstr(folderPart, "../") == nullptr;
}

// Creates the folders of a target file name, when it has any.
void CreateFoldersForFile(const char* base, const char* target) {
    char folder[kMaxPath];
    std::size_t length = std::strlen(target);
    std::size_t cut = length;
    while (cut > 0 && !IsPathSeparator(target[cut - 1])) --cut;
    if (cut == 0) return;
    std::memcpy(folder, target, cut - 1);
    folder[cut - 1] = '\0';
    if (MayCreateFoldersFor(folder)) CreateFolders(base, folder);
}

// Moves the open entry's data to the handle; true when every declared byte
// was read and written. Stored bytes of a memory block are written from
// where they lie.
bool TransferEntry(ZipDirectory* directory, std::uint8_t* buffer, os::FileHandle handle) {
    const bool inPlace = EntryReadableInPlace(directory);
    for (;;) {
        const std::uint8_t* data = buffer;
        std::int32_t n = inPlace ? ReadEntryDataInPlace(directory, &data, kTransferSize)
                                 : ReadEntryData(directory, buffer, kTransferSize);
        if (n < 0) return false;
        if (n == 0) return EntryDataComplete(directory);
        std::uint32_t written = 0;
        if (!os::WriteToFile(handle, data, static_cast<std::uint32_t>(n), &written) ||
            written != static_cast<std::uint32_t>(n)) {
            return false;
        }
    }
}

bool HasTimes(const ZipEntry& entry) { return entry.writeTime != os::FileTime{}; }

}  // namespace

void CreateFolders(const char* base, const char* path) {
    if (path == nullptr || path[0] == '\0') return;
    std::size_t length = std::strlen(path);
    if (length >= kMaxPath) return;
    std::size_t last = length;
    while (last > 0 && !IsPathSeparator(path[last - 1])) --last;
    // A separator after the first character: the outer folders come first.
    if (last > 1) {
        char outer[kMaxPath];
        std::memcpy(outer, path, last - 1);
        outer[last - 1] = '\0';
        CreateFolders(base, outer);
    }
    std::size_t baseLength = std::strlen(base);
    if (baseLength + length >= kMaxPath) return;
    char joined[kMaxPath];
    std::memcpy(joined, base, baseLength);
    std::memcpy(joined + baseLength, path, length + 1);
    os::MakeFolder(joined);  // existing folders are no error
}

std::int32_t ExtractToFileOrHandle(ZipArchive* archive, std::int32_t index, void* target,
                                   std::int32_t kind) {
    CloseOpenEntry(archive);
    ZipDirectory* directory = archive->directory;
    if (index < 0 || index >= static_cast<std::int64_t>(directory->entryCount)) {
        return ArchErrArgument;
    }
    // The record may come from the cache while the cursor stands on another
    // entry (a search or another record moved it): the data is opened at the
    // cursor, so the cursor is brought to the entry first.
    if (!WalkToEntry(directory, static_cast<std::uint32_t>(index))) return ArchErrCentralHeader;
    ZipEntry entry;
    if (std::int32_t result = GetEntryRecord(archive, index, &entry); result != ArchOk) {
        return result;
    }
    const bool toFile = kind == SourceFileName;
    if ((entry.attributes & os::kAttrDirectory) != 0) {
        if (toFile) CreateFolders(archive->folderBase, entry.name);
        return ArchOk;
    }
    if (archive->transferBuffer == nullptr) {
        archive->transferBuffer.reset(new (std::nothrow) std::uint8_t[kTransferSize]);
        if (archive->transferBuffer == nullptr) return ArchErrNoMemory;
    }
    // A caller's handle stays the caller's; a file made here is closed here.
    os::FileHandle handle = reinterpret_cast<os::FileHandle>(target);
    os::ScopedFile created;
    if (toFile) {
        const char* name = static_cast<const char*>(target);
        if (name == nullptr || std::strlen(name) >= kMaxPath) return ArchErrOpenFile;
        CreateFoldersForFile(archive->folderBase, name);
        created.reset(os::CreateFileWithAttributes(name, entry.attributes));
        handle = created.get();
    }
    if (handle == os::kInvalidHandle) return ArchErrOpenFile;

    OpenEntryData(directory);  // a failed open leaves no entry, so the first read fails
    const bool transferred = TransferEntry(directory, archive->transferBuffer.get(), handle);
    if (transferred && HasTimes(entry) && os::IsDiskFile(handle)) {
        os::SetFileTimes(handle, entry.creationTime, entry.accessTime, entry.writeTime);
    }
    const std::int32_t verdict = CloseEntryData(directory);
    if (!transferred) return ArchErrWrite;
    return verdict == ErrCrc ? ArchErrCrc : ArchOk;
}

std::int32_t ExtractToMemory(ZipArchive* archive, std::int32_t index, void* target,
                             std::uint32_t length) {
    ZipDirectory* directory = archive->directory;
    // Nothing is opened or closed for a call that cannot deliver.
    if (target == nullptr && length != 0) return ArchErrArgument;
    // -1 marks "none open" inside: it must not pass for an open entry.
    if (index < 0 || index >= static_cast<std::int64_t>(directory->entryCount)) {
        CloseOpenEntry(archive);
        return ArchErrArgument;
    }
    if (index != archive->openIndex) {
        CloseOpenEntry(archive);
        // Opening whatever entry the cursor stopped on would deliver another
        // entry's data.
        if (!WalkToEntry(directory, static_cast<std::uint32_t>(index))) return ArchErrCentralHeader;
        OpenEntryData(directory);  // a failed open leaves no entry; the read then fails
        archive->openIndex = index;
    }
    std::int32_t n = ReadEntryData(directory, target, length);
    if (n > 0) return ArchDataDelivered;
    const bool complete = EntryDataComplete(directory);
    std::int32_t verdict = ErrOk;
    if (directory->openEntry != nullptr) verdict = CloseEntryData(directory);
    archive->openIndex = -1;
    if (n < 0 || !complete) return ArchErrEntryData;
    return verdict == ErrCrc ? ArchErrCrc : ArchOk;
}

}  // namespace quarn
