// The tree of a VS_VERSIONINFO block: nodes of { wLength, wValueLength,
// wType, key (UTF-16, NUL-terminated), value, children }, each part aligned
// to 4 bytes from the start of its node. Values are found as VerQueryValue
// finds them: path components separated by '\', empty ones skipped, keys
// compared without regard to ASCII case.
#pragma once

#include <cstdint>

namespace quarn::os::posix {

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

}  // namespace quarn::os::posix
