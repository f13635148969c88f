// A whole file held read-only in memory, for tools that hand an archive to
// the reader as one block. Win32 maps the file; POSIX reads it into private
// pages that may be huge pages (see posix/mapping.cpp). ScopedMapping owns
// one such block and lets it go when it goes.
#pragma once

#include <cstdint>
#include <utility>

namespace quarn::os {

struct MappedFile {
    const std::uint8_t* data = nullptr;  // nullptr for an empty file
    std::uint32_t size = 0;
    void* detail = nullptr;               // the implementation's own state
};

// False when the file cannot be opened, is not a regular file, is 4 GiB or
// larger, or cannot be mapped. An empty file maps to size 0.
bool MapFile(const char* name, MappedFile* mapped);

// Harmless on an empty or failed mapping; leaves *mapped empty.
void UnmapFile(MappedFile* mapped);

// Owns one mapping and unmaps it when it goes. Move-only; an empty owner
// holds an empty MappedFile.
class ScopedMapping {
public:
    ScopedMapping() = default;
    explicit ScopedMapping(const MappedFile& mapped) : mapped_(mapped) {}
    ~ScopedMapping() { reset(); }
    ScopedMapping(ScopedMapping&& other) noexcept : mapped_(other.release()) {}
    ScopedMapping& operator=(ScopedMapping&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ScopedMapping(const ScopedMapping&) = delete;
    ScopedMapping& operator=(const ScopedMapping&) = delete;

    const MappedFile& get() const { return mapped_; }
    const std::uint8_t* data() const { return mapped_.data; }
    std::uint32_t size() const { return mapped_.size; }
    // Gives the mapping up without unmapping it.
    MappedFile release() { return std::exchange(mapped_, MappedFile{}); }
    // Unmaps the block held, if any, and takes mapped instead.
    void reset(const MappedFile& mapped = {}) {
        MappedFile old = std::exchange(mapped_, mapped);
        UnmapFile(&old);
    }

private:
    MappedFile mapped_;
};

// MapFile into an owner, which lets go of what it held before; it is left
// empty on failure.
inline bool MapFile(const char* name, ScopedMapping* mapping) {
    MappedFile mapped;
    const bool ok = MapFile(name, &mapped);
    mapping->reset(mapped);
    return ok;
}

}  // namespace quarn::os
