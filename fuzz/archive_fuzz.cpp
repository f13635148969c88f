// The archive reader over a memory block of untrusted bytes: open, list,
// find and extract every entry to memory in small and large pieces, then
// close. Sanitizers catch bad memory use; the checks below catch results
// that contradict the interface.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "base/text.h"

namespace {

using namespace quarn;

// Bounds that keep one input fast: a directory may claim 65535 entries and
// an entry 4 GiB, but the walk and the extraction stop long before. Each
// entry gets its own share, and the whole input a budget of calls.
constexpr std::int32_t kMaxEntriesWalked = 128;
constexpr std::uint32_t kSmallPiece = 7;
constexpr std::uint32_t kLargePiece = 64 * 1024;
constexpr int kMaxSmallCalls = 4096;
constexpr int kMaxLargeCalls = 32;
constexpr int kCallsPerInput = 16384;

void Require(bool holds) {
    if (!holds) std::abort();
}

struct Listed {
    bool ok = false;
    ZipEntry entry;
};

void CheckRecord(const ZipEntry& entry, std::int32_t index) {
    // The name must end inside its buffer, whatever the archive stored.
    Require(std::memchr(entry.name, '\0', kMaxPath) != nullptr);
    Require(entry.index == index);
}

std::vector<Listed> ListEntries(ArchiveHandle* archive, std::int32_t count) {
    std::vector<Listed> listed(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        Listed& l = listed[static_cast<std::size_t>(i)];
        l.ok = GetEntry(archive, i, &l.entry) == ArchOk;
        if (l.ok) CheckRecord(l.entry, i);
    }
    return listed;
}

bool SameName(const char* a, const char* b, bool ignoreCase) {
    if (!ignoreCase) return std::strcmp(a, b) == 0;
    for (;; ++a, ++b) {
        if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
        if (*a == '\0') return true;
    }
}

// Every search walks the whole directory, which may hold thousands of
// entries: a name that is likely absent, the first and the last listed.
void FindNames(ArchiveHandle* archive, const std::vector<Listed>& listed) {
    std::vector<std::string> names = {"HUB.INI"};
    for (const Listed& l : listed) {
        if (l.ok) {
            names.emplace_back(l.entry.name);
            break;
        }
    }
    if (!listed.empty() && listed.back().ok) names.emplace_back(listed.back().entry.name);
    for (const std::string& name : names) {
        for (bool ignoreCase : {false, true}) {
            std::int32_t index = -2;
            ZipEntry entry;
            std::int32_t result = FindEntry(archive, name.c_str(), ignoreCase, &index, &entry);
            if (result == ArchOk) {
                CheckRecord(entry, index);
                Require(SameName(entry.name, name.c_str(), ignoreCase));
            } else if (result == ArchErrNotFound) {
                Require(index == -1 && entry.index == -1);
            }
            // Without outputs the search must agree on whether the name is there.
            if (ignoreCase) {
                std::int32_t bare = FindEntry(archive, name.c_str(), ignoreCase, nullptr, nullptr);
                Require((bare == ArchErrNotFound) == (result == ArchErrNotFound));
            }
        }
    }
}

// Extracts one entry in pieces of the given size. Every call but the last
// fills its piece in full, so an intact entry takes exactly as many
// delivering calls as its declared size needs pieces.
void ExtractInPieces(ArchiveHandle* archive, std::int32_t index, const Listed& listed,
                     std::vector<std::uint8_t>& buffer, std::uint32_t piece, int maxCalls,
                     int& callsLeft) {
    std::uint64_t deliveringCalls = 0;
    for (int call = 0; call < maxCalls && callsLeft > 0; ++call, --callsLeft) {
        // A marker after the piece: the reader must not write past its length.
        buffer[piece] = 0xA5;
        std::int32_t result = ExtractEntry(archive, index, buffer.data(), piece, SourceMemory);
        Require(buffer[piece] == 0xA5);
        if (result == ArchDataDelivered) {
            ++deliveringCalls;
            continue;
        }
        if (result == ArchOk && listed.ok) {
            const std::uint64_t declared = listed.entry.uncompressedSize;
            Require(deliveringCalls == (declared + piece - 1) / piece);
        }
        return;
    }
    // Cut short by the call cap: the entry stays open until the next call
    // closes it, which the next entry's extraction does.
}

void ExtractAll(ArchiveHandle* archive, const std::vector<Listed>& listed, std::int32_t total) {
    static std::vector<std::uint8_t> buffer(kLargePiece + 1);
    const auto count = static_cast<std::int32_t>(listed.size());
    int callsLeft = kCallsPerInput;
    for (std::int32_t i = 0; i < count; ++i) {
        const Listed& l = listed[static_cast<std::size_t>(i)];
        ExtractInPieces(archive, i, l, buffer, kSmallPiece, kMaxSmallCalls, callsLeft);
        ExtractInPieces(archive, i, l, buffer, kLargePiece, kMaxLargeCalls, callsLeft);
        if (l.ok && l.entry.uncompressedSize <= 1024)
            ExtractInPieces(archive, i, l, buffer, 1, 1100, callsLeft);
    }
    // Index -1 stands for "nothing open" inside; it must never deliver.
    const std::int32_t none = ExtractEntry(archive, -1, buffer.data(), 1, SourceMemory);
    Require(none != ArchOk && none != ArchDataDelivered);
    Require(ExtractEntry(archive, total, buffer.data(), 1, SourceMemory) == ArchErrArgument);
    // An entry left open by a first piece when the archive closes.
    if (count > 0) ExtractEntry(archive, 0, buffer.data(), kSmallPiece, SourceMemory);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    ArchiveHandle* archive = OpenArchive(data, static_cast<std::uint32_t>(size), SourceMemory);
    if (archive == nullptr) {
        Require(lastArchiveResult != ArchOk);
        return 0;
    }
    ZipEntry head;
    Require(GetEntry(archive, -1, &head) == ArchOk);
    Require(head.index >= 0 && head.index <= 0xFFFF);
    const std::int32_t walked = head.index < kMaxEntriesWalked ? head.index : kMaxEntriesWalked;
    const std::vector<Listed> listed = ListEntries(archive, walked);
    FindNames(archive, listed);
    ExtractAll(archive, listed, head.index);
    Require(CloseArchive(archive) == ArchOk);
    return 0;
}
