// The PE resource reader. Offsets and sizes are kept in 64 bits so that no
// sum of 32-bit fields can wrap; every read goes through PeSource::read,
// which refuses anything past the end of the file.
#include "os/pe/pe_file.h"

#include <cstring>

#include "base/bytes.h"
#include "base/text.h"
#include "base/utf8.h"

namespace quarn::os::pe {

namespace {

constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint32_t kNameIsStringBit = 0x80000000u;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kSectionHeaderSize = 40;
constexpr std::uint32_t kDirectoryHeaderSize = 16;
constexpr std::uint32_t kDirectoryEntrySize = 8;

bool Read16(const PeSource& file, std::uint64_t offset, std::uint16_t* value) {
    std::uint8_t b[2];
    if (!file.read(offset, b, sizeof b)) return false;
    *value = LoadLe16(b);
    return true;
}
bool Read32(const PeSource& file, std::uint64_t offset, std::uint32_t* value) {
    std::uint8_t b[4];
    if (!file.read(offset, b, sizeof b)) return false;
    *value = LoadLe32(b);
    return true;
}

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

// The headers that resources need: the resource directory's RVA and where
// the section table lies.
struct PeHeaders {
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
    std::uint64_t sectionTable = 0;
    std::uint16_t sectionCount = 0;
};

bool ReadHeaders(const PeSource& file, PeHeaders* out) {
    std::uint16_t magic = 0;
    std::uint32_t peOffset = 0;
    if (!Read16(file, 0, &magic) || magic != 0x5A4D || !Read32(file, 0x3C, &peOffset)) {
        return false;
    }
    std::uint8_t header[24];  // signature and COFF header
    if (!file.read(peOffset, header, sizeof header) || std::memcmp(header, "PE\0\0", 4) != 0) {
        return false;
    }
    const std::uint16_t sectionCount = LoadLe16(header + 6);
    const std::uint16_t optionalSize = LoadLe16(header + 20);
    const std::uint64_t optional = std::uint64_t{peOffset} + sizeof header;

    std::uint16_t optionalMagic = 0;
    if (!Read16(file, optional, &optionalMagic)) return false;
    std::uint32_t countField = 0;
    std::uint32_t directories = 0;
    if (optionalMagic == 0x10B) {  // PE32
        countField = 92;
        directories = 96;
    } else if (optionalMagic == 0x20B) {  // PE32+
        countField = 108;
        directories = 112;
    } else {
        return false;
    }
    std::uint32_t directoryCount = 0;
    if (!Read32(file, optional + countField, &directoryCount)) return false;
    const std::uint64_t entry = directories + kResourceDirectoryIndex * 8ull;
    if (directoryCount <= kResourceDirectoryIndex || entry + 8 > optionalSize) return false;
    std::uint8_t directory[8];
    if (!file.read(optional + entry, directory, sizeof directory)) return false;
    out->resourceRva = LoadLe32(directory);
    out->resourceSize = LoadLe32(directory + 4);
    out->sectionTable = optional + optionalSize;
    out->sectionCount = sectionCount;
    return out->resourceRva != 0 && out->resourceSize != 0;
}

bool ReadSection(const PeSource& file, const PeHeaders& headers, std::uint16_t index,
                 Section* out) {
    std::uint8_t raw[kSectionHeaderSize];
    if (!file.read(headers.sectionTable + std::uint64_t{index} * kSectionHeaderSize, raw,
                   sizeof raw)) {
        return false;
    }
    out->virtualAddress = LoadLe32(raw + 12);
    out->rawSize = LoadLe32(raw + 16);
    out->rawOffset = LoadLe32(raw + 20);
    return true;
}

// The file offset of `count` bytes at an RVA, when a section holds them all
// in its bytes in the file.
bool MapRva(const PeSource& file, const PeHeaders& headers, std::uint32_t rva,
            std::uint64_t count, std::uint64_t* fileOffset, std::uint64_t* available) {
    for (std::uint16_t i = 0; i < headers.sectionCount; ++i) {
        Section section;
        if (!ReadSection(file, headers, i, &section)) return false;
        if (rva < section.virtualAddress) continue;
        const std::uint64_t within = rva - section.virtualAddress;
        if (within >= section.rawSize && !(within == section.rawSize && count == 0)) continue;
        const std::uint64_t start = std::uint64_t{section.rawOffset} + within;
        std::uint64_t end = std::uint64_t{section.rawOffset} + section.rawSize;
        if (end > file.size()) end = file.size();
        if (start > end || end - start < count) return false;
        *fileOffset = start;
        if (available != nullptr) *available = end - start;
        return true;
    }
    return false;
}

// The resource tree, addressed by offsets from its start.
class ResourceTree {
public:
    ResourceTree(const PeSource& file, const PeHeaders& headers, const PeResourceSection& section)
        : file_(file), headers_(headers), section_(section) {}

    bool read(std::uint64_t offset, void* into, std::uint32_t count) const {
        if (offset > section_.size || section_.size - offset < count) return false;
        return file_.read(section_.fileOffset + offset, into, count);
    }

    // The offset that the entry matching `match` of the directory at
    // `directory` points to, with its subdirectory bit as found.
    template <typename Match>
    bool findEntry(std::uint32_t directory, Match match, std::uint32_t* target) const {
        std::uint8_t header[kDirectoryHeaderSize];
        if (!read(directory, header, sizeof header)) return false;
        const std::uint32_t named = LoadLe16(header + 12);
        const std::uint32_t total = named + LoadLe16(header + 14);
        for (std::uint32_t i = 0; i < total; ++i) {
            std::uint8_t entry[kDirectoryEntrySize];
            if (!read(std::uint64_t{directory} + kDirectoryHeaderSize + i * kDirectoryEntrySize,
                      entry, sizeof entry)) {
                return false;
            }
            if (match(i < named, LoadLe32(entry))) {
                *target = LoadLe32(entry + 4);
                return true;
            }
        }
        return false;
    }

    bool nameEquals(std::uint32_t nameField, const std::u16string& name) const {
        const std::uint32_t offset = nameField & ~kNameIsStringBit;
        std::uint8_t length[2];
        if (!read(offset, length, 2) || LoadLe16(length) != name.size()) return false;
        for (std::size_t i = 0; i < name.size(); ++i) {
            std::uint8_t c[2];
            if (!read(std::uint64_t{offset} + 2 + 2u * i, c, 2) || LoadLe16(c) != name[i]) {
                return false;
            }
        }
        return true;
    }

    bool dataEntry(std::uint32_t offset, PeResource* out) const {
        std::uint8_t entry[16];
        if (!read(offset, entry, sizeof entry)) return false;
        const std::uint32_t rva = LoadLe32(entry);
        const std::uint32_t size = LoadLe32(entry + 4);
        std::uint64_t fileOffset = 0;
        if (!MapRva(file_, headers_, rva, size, &fileOffset, nullptr)) return false;
        out->fileOffset = fileOffset;
        out->size = size;
        return true;
    }

private:
    const PeSource& file_;
    const PeHeaders& headers_;
    const PeResourceSection& section_;
};

bool IdMatches(bool isNamed, std::uint32_t field, std::uint16_t id) {
    if (isNamed || (field & kNameIsStringBit) != 0) return false;
    return id == 0 || field == id;
}

bool LocateSection(const PeSource& file, PeHeaders* headers, PeResourceSection* out) {
    if (!ReadHeaders(file, headers)) return false;
    std::uint64_t offset = 0;
    std::uint64_t available = 0;
    if (!MapRva(file, *headers, headers->resourceRva, kDirectoryHeaderSize, &offset,
                &available)) {
        return false;
    }
    out->fileOffset = offset;
    out->size = available;
    return true;
}

}  // namespace

bool PeMemory::read(std::uint64_t offset, void* into, std::uint32_t count) const {
    if (offset > size_ || size_ - offset < count) return false;
    if (count != 0) std::memcpy(into, data_ + offset, count);
    return true;
}

PeDiskFile::PeDiskFile(const char* path) : file_(OpenForReading(path)) {
    if (file_.valid() && !DiskFileSize(file_.get(), &size_)) file_.reset();
}

bool PeDiskFile::read(std::uint64_t offset, void* into, std::uint32_t count) const {
    if (!file_.valid() || offset > size_ || size_ - offset < count) return false;
    auto* bytes = static_cast<std::uint8_t*>(into);
    std::uint32_t done = 0;
    while (done < count) {
        std::uint32_t got = 0;
        if (!ReadFileAt(file_.get(), offset + done, bytes + done, count - done, &got) || got == 0) {
            return false;  // the file shrank or cannot be read
        }
        done += got;
    }
    return true;
}

ResourceKey ResourceKeyFromName(const char* name) {
    ResourceKey key;
    if (name[0] == '#') {
        std::uint32_t value = 0;
        const char* p = name + 1;
        for (; *p >= '0' && *p <= '9' && value <= 0xFFFF; ++p) value = value * 10 + (*p - '0');
        key.valid = p != name + 1 && *p == '\0' && value != 0 && value <= 0xFFFF;
        key.id = static_cast<std::uint16_t>(value);
        return key;
    }
    // UTF-8, as FindResourceW gets it from the Win32 seam; ASCII letters
    // upper-cased. A name that is not UTF-8 names no resource.
    key.valid = AppendUtf16(name, key.name) && !key.name.empty();
    for (char16_t& c : key.name) c = AsciiUpper(c);
    return key;
}

bool FindResourceSection(const PeSource& file, PeResourceSection* out) {
    PeHeaders headers;
    return LocateSection(file, &headers, out);
}

bool FindPeResource(const PeSource& file, std::uint16_t type, const ResourceKey& key,
                    PeResource* out) {
    if (!key.valid) return false;
    PeHeaders headers;
    PeResourceSection section;
    if (!LocateSection(file, &headers, &section)) return false;
    const ResourceTree tree(file, headers, section);

    // Type and name levels point to subdirectories, the language level to a
    // data entry; the fixed depth keeps a looping tree from looping here.
    const auto byType = [&](bool named, std::uint32_t field) {
        return IdMatches(named, field, type);
    };
    const auto byKey = [&](bool named, std::uint32_t field) {
        if (key.name.empty()) return IdMatches(named, field, key.id);
        return named && (field & kNameIsStringBit) != 0 && tree.nameEquals(field, key.name);
    };
    const auto first = [](bool, std::uint32_t) { return true; };
    std::uint32_t names = 0;
    std::uint32_t languages = 0;
    std::uint32_t data = 0;
    if (!tree.findEntry(0, byType, &names) || (names & kSubdirectoryBit) == 0 ||
        !tree.findEntry(names & ~kSubdirectoryBit, byKey, &languages) ||
        (languages & kSubdirectoryBit) == 0 ||
        !tree.findEntry(languages & ~kSubdirectoryBit, first, &data) ||
        (data & kSubdirectoryBit) != 0) {
        return false;
    }
    return tree.dataEntry(data, out);
}

bool ReadPeResource(const PeSource& file, std::uint16_t type, const ResourceKey& key,
                    std::string* bytes) {
    PeResource resource;
    if (!FindPeResource(file, type, key, &resource)) return false;
    bytes->resize(resource.size);
    return file.read(resource.fileOffset, bytes->data(), resource.size);
}

}  // namespace quarn::os::pe
