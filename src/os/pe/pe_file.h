// Resources of a PE file, read the way the Windows loader finds them:
// DOS header, PE header, the resource data directory, and the three fixed
// levels of the resource tree (type, name, language). Every field comes from
// the file and is checked against its size before it is used.
//
// Portable: it reads memory, or files through the seam's file handles, and
// is built and tested on both sides. The POSIX launch services read named
// modules and version resources with it; Win32 has the loader for that.
#pragma once

#include <cstdint>
#include <string>

#include "os/file.h"

namespace quarn::os::pe {

// Random access to the bytes of a PE file, in memory or on disk.
class PeSource {
public:
    virtual ~PeSource() = default;
    virtual std::uint64_t size() const = 0;
    // Exactly count bytes at offset; false when they are not all there.
    virtual bool read(std::uint64_t offset, void* into, std::uint32_t count) const = 0;
};

class PeMemory final : public PeSource {
public:
    PeMemory(const std::uint8_t* data, std::uint64_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, void* into, std::uint32_t count) const override;

private:
    const std::uint8_t* data_;
    std::uint64_t size_;
};

// A file on disk, read piece by piece: a package's resources hold its whole
// payload, which a version query has no need to read. Not open when the path
// names no file on disk (a folder or a pipe, say).
class PeDiskFile final : public PeSource {
public:
    explicit PeDiskFile(const char* path);  // as OpenForReading takes it

    bool isOpen() const { return file_.valid(); }
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, void* into, std::uint32_t count) const override;

private:
    ScopedFile file_;
    std::uint64_t size_ = 0;
};

inline constexpr std::uint16_t kResourceTypeRcData = 10;
inline constexpr std::uint16_t kResourceTypeVersion = 16;

// Which entry of the name level: a name (stored upper-case, as resource
// compilers and FindResource keep it), or a numeric id; id 0 with no name
// stands for the first id entry.
struct ResourceKey {
    std::u16string name;
    std::uint16_t id = 0;
    bool valid = true;  // false for a "#..." text that is no number
};

// The key FindResourceW makes of a name given as UTF-8: "#123" is the id
// 123, any other text a name with ASCII letters in upper case.
ResourceKey ResourceKeyFromName(const char* name);

// Where the resource directory lies in the file.
struct PeResourceSection {
    std::uint64_t fileOffset = 0;
    std::uint64_t size = 0;  // up to the end of its section's bytes in the file
};

bool FindResourceSection(const PeSource& file, PeResourceSection* out);

// A resource's bytes in the file.
struct PeResource {
    std::uint64_t fileOffset = 0;
    std::uint32_t size = 0;
};

// The resource of that type and key, in its first language.
bool FindPeResource(const PeSource& file, std::uint16_t type, const ResourceKey& key,
                    PeResource* out);

// A whole resource read into memory; false when missing or unreadable.
bool ReadPeResource(const PeSource& file, std::uint16_t type, const ResourceKey& key,
                    std::string* bytes);

}  // namespace quarn::os::pe
