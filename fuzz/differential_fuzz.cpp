// The archive reader against libzip, an independent reader, over the same
// untrusted bytes. Where both open the archive and see as many entries, and
// both read an entry's record, its name and sizes must agree;
// where both deliver an entry's data in full and intact, the bytes must be
// the same. Refusals may differ (the readers check different things), a
// disagreement on what was accepted may not.
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/zip_archive.h"

namespace {

using namespace quarn;

// Bounds that keep one input fast.
constexpr std::int32_t kMaxEntries = 64;
constexpr std::uint32_t kMaxData = 1 << 20;

[[noreturn]] void Disagree(const char* what, long long index, long long a = 0, long long b = 0) {
    std::fprintf(stderr, "differential_fuzz: %s (entry %lld: %lld, %lld)\n", what, index, a, b);
    std::abort();
}

struct Other {
    zip_t* archive = nullptr;
    ~Other() {
        if (archive != nullptr) zip_discard(archive);
    }
};

bool OpenOther(const std::uint8_t* data, std::size_t size, Other& other) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    if (source == nullptr) return false;
    other.archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (other.archive == nullptr) {
        zip_source_free(source);
        return false;
    }
    return true;
}

std::size_t EndRecords(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t kSignature[] = {'P', 'K', 5, 6};
    std::size_t found = 0;
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        if (std::memcmp(data + i, kSignature, 4) == 0) ++found;
    }
    return found;
}

// The whole entry through our memory target; false unless it ends in ArchOk.
bool OursData(ArchiveHandle* archive, std::int32_t index, std::uint32_t size, std::string* out) {
    out->assign(size, '\0');
    std::int32_t r = ExtractEntry(archive, index, out->data(), size, SourceMemory);
    if (size > 0) {
        if (r != ArchDataDelivered) return false;
        char extra = 0;
        r = ExtractEntry(archive, index, &extra, 1, SourceMemory);
    }
    return r == ArchOk;
}

// libzip's whole entry; false when it reports an error (its CRC check
// included) or delivers another count.
bool OtherData(zip_t* archive, std::int32_t index, std::uint32_t size, std::string* out) {
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
    if (file == nullptr) return false;
    out->assign(size + 1, '\0');
    std::uint64_t got = 0;
    bool ok = true;
    for (;;) {
        const zip_int64_t n = zip_fread(file, out->data() + got, out->size() - got);
        if (n < 0) ok = false;
        if (n <= 0) break;
        got += static_cast<std::uint64_t>(n);
        if (got == out->size()) break;
    }
    if (zip_fclose(file) != 0) ok = false;
    out->resize(got);
    return ok && got == size;
}

// True when the entry's central extra field holds the bytes of a Unicode
// path field's id anywhere. Such a field may be read two defensible ways:
// libzip takes its name when it is loosely UTF-8 (overlong forms and
// encoded surrogates pass, a NUL cuts it); this reader only strict UTF-8.
bool MayHoldUnicodePath(ArchiveHandle* archive, std::int32_t index) {
    ZipDirectory* directory = archive->archive->directory;
    if (!WalkToEntry(directory, static_cast<std::uint32_t>(index))) return false;
    std::vector<std::uint8_t> extra(0x10000);
    EntryInfo info = {};
    if (GetCurrentEntryInfo(directory, &info, nullptr, 0, extra.data(),
                            static_cast<std::uint32_t>(extra.size()), nullptr, 0) != 0) {
        return false;
    }
    static const std::uint8_t kId[] = {0x75, 0x70};
    for (std::size_t i = 0; i + 1 < info.extraLength; ++i) {
        if (std::memcmp(extra.data() + i, kId, 2) == 0) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    ArchiveHandle* ours = OpenArchive(data, static_cast<std::uint32_t>(size), SourceMemory);
    if (ours == nullptr) return 0;
    Other other;
    if (!OpenOther(data, size, other)) {
        CloseArchive(ours);
        return 0;
    }
    ZipEntry head;
    if (GetEntry(ours, -1, &head) != ArchOk) Disagree("no entry count", -1);
    const zip_int64_t theirs = zip_get_num_entries(other.archive, 0);
    // Two readings of one input that may both be right: libzip takes no data
    // in front of the directory into account (where it then finds no entry
    // it reads the archive as empty), and of several end records it may take
    // another than this reader (like Info-ZIP) does, the last one. Only one
    // directory read by both is compared: one end record, nothing in front,
    // as many entries.
    if (theirs != head.index || EndRecords(data, size) != 1 ||
        ours->archive->directory->bytesBefore != 0) {
        CloseArchive(ours);
        return 0;
    }

    const std::int32_t count = head.index < kMaxEntries ? head.index : kMaxEntries;
    for (std::int32_t i = 0; i < count; ++i) {
        ZipEntry entry;
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (GetEntry(ours, i, &entry) != ArchOk ||
            zip_stat_index(other.archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &stat) != 0) {
            continue;
        }
        const char* name = zip_get_name(other.archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (name == nullptr || (std::strcmp(name, entry.name) != 0 && !MayHoldUnicodePath(ours, i))) {
            Disagree("name", i);
        }
        if ((stat.valid & ZIP_STAT_SIZE) != 0 && stat.size != entry.uncompressedSize) {
            Disagree("size", i, entry.uncompressedSize, static_cast<long long>(stat.size));
        }
        if ((stat.valid & ZIP_STAT_COMP_SIZE) != 0 && stat.comp_size != entry.compressedSize) {
            Disagree("compressed size", i, entry.compressedSize,
                     static_cast<long long>(stat.comp_size));
        }
        if (entry.uncompressedSize > kMaxData) continue;
        std::string mine, theirsData;
        const bool oursOk = OursData(ours, i, entry.uncompressedSize, &mine);
        const bool otherOk = OtherData(other.archive, i, entry.uncompressedSize, &theirsData);
        if (oursOk && otherOk && mine != theirsData) Disagree("data", i);
    }
    CloseArchive(ours);
    return 0;
}
