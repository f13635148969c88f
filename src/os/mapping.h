// A whole file held read-only in memory, for tools that hand an archive to
// the reader as one block. Win32 maps the file; POSIX reads it into private
// pages that may be huge pages (see posix/mapping.cpp).
#pragma once

#include <cstdint>

namespace quarn::os {

struct MappedFile {
    const std::uint8_t* data = nullptr;  // nullptr for an empty file
    std::uint32_t size = 0;
    void* detail = nullptr;               // the implementation's own state
};

// False when the file cannot be opened, is not a regular file, is 4 GiB or
// larger, or cannot be mapped. An empty file maps to size 0.
bool MapFile(const char* name, MappedFile* mapped);

void UnmapFile(MappedFile* mapped);

}  // namespace quarn::os
