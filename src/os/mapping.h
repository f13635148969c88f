// A whole file held read-only in memory, for tools that hand an archive to
// the reader as one block. Win32 maps the file; POSIX reads it into private
// pages that may be huge pages (see posix/mapping.cpp). ScopedMapping owns
// one such block and lets it go when it goes.
#pragma once

#include <cstdint>

#include "base/unique_value.h"

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

// Owns one mapping and unmaps it when it goes; an empty owner holds an
// empty MappedFile.
struct MappingOwnership {
    static MappedFile Empty() { return {}; }
    static void Free(MappedFile mapped) { UnmapFile(&mapped); }
};

class ScopedMapping : public UniqueValue<MappedFile, MappingOwnership> {
public:
    using UniqueValue::UniqueValue;
    const std::uint8_t* data() const { return get().data; }
    std::uint32_t size() const { return get().size; }
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
