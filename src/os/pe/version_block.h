// The tree of a VS_VERSIONINFO block: nodes of { wLength, wValueLength,
// wType, key (UTF-16, NUL-terminated), value, children }, each part aligned
// to 4 bytes from the start of its node. Values are found as VerQueryValue
// finds them: path components separated by '\', empty ones skipped, keys
// compared without regard to ASCII case.
//
// The narrow block is what the Windows A functions hand out: the version
// resource, the "FE2X" signature behind its root node, then room for the
// narrow copies of its texts, so that a query can answer a text with a
// pointer into the caller's block. Portable; the POSIX launch services are
// built on it.
#pragma once

#include <cstdint>
#include <string>

namespace quarn::os::pe {

struct VersionValue {
    std::uint32_t offset = 0;  // from the start of the block
    std::uint16_t length = 0;  // wValueLength: characters for text, bytes otherwise
    bool text = false;         // wType 1: UTF-16 text
};

// Looks up `path` in the tree whose root node spans the first `extent` bytes
// of block. False for a missing path and for any node that does not fit
// inside its parent.
bool FindVersionValue(const std::uint8_t* block, std::uint32_t extent, const char* path,
                      VersionValue* out);

// The size of the narrow block for a version resource of that size: twice
// the resource and the signature. 0 for an empty or an oversized resource.
std::uint32_t NarrowBlockSize(std::size_t resourceSize);

// Fills a narrow block of `size` bytes from the resource, cut to fit when
// the block is smaller than NarrowBlockSize asks. False when the block or
// the resource cannot hold one node header.
bool FillNarrowBlock(const std::string& resource, std::uint32_t size, void* block);

// Looks up a value of a narrow block by its path. A binary value is
// answered where it lies, with *length its size in bytes; a text value by a
// narrow copy (Latin-1 kept, anything else '?') written into the block's
// spare room, NUL-terminated, with *length its size in characters.
bool QueryNarrowBlock(const void* block, const char* path, const void** value,
                      std::uint32_t* length);

}  // namespace quarn::os::pe
