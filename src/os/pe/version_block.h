// The tree of a VS_VERSIONINFO block: nodes of { wLength, wValueLength,
// wType, key (UTF-16, NUL-terminated), value, children }, each part aligned
// to 4 bytes from the start of its node. Values are found as VerQueryValue
// finds them: path components separated by '\', empty ones skipped, keys
// compared without regard to ASCII case.
//
// The UTF-8 block is what the seam's version functions hand out on both
// systems: the version resource, the "FE2X" signature behind its root node,
// then room for UTF-8 copies of its texts, so that a query can answer a text
// with a pointer into the caller's block. A text at offset o of the resource
// is copied to o * 3 / 2 bytes into that room: a UTF-16 unit takes at most 3
// bytes of UTF-8, so no copy reaches the next one or the block's end.
// Portable; the launch services of both systems are built on it.
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

// The size of the UTF-8 block for a version resource of that size: the
// resource, the signature and the room for the copies (two and a half times
// the resource, and a few bytes). 0 for an empty or an oversized resource.
std::uint32_t Utf8BlockSize(std::size_t resourceSize);

// Fills a UTF-8 block of `size` bytes from the resource, cut to fit when
// the block is smaller than Utf8BlockSize asks. False when the block or the
// resource cannot hold one node header.
bool FillUtf8Block(const std::string& resource, std::uint32_t size, void* block);

// Looks up a value of a UTF-8 block by its path. A binary value is answered
// where it lies, with *length its size in bytes; a text value by a UTF-8
// copy (a lone surrogate as U+FFFD) written into the block's spare room,
// NUL-terminated, with *length its size in UTF-16 units as stored.
bool QueryUtf8Block(const void* block, const char* path, const void** value,
                    std::uint32_t* length);

}  // namespace quarn::os::pe
