// Walking a VS_VERSIONINFO tree. Every node must lie inside its parent and
// every key and value inside its node; the walk only ever moves forward, so
// a hostile block ends it rather than loops it.
#include "version_block.h"

#include <cstddef>

namespace quarn::os::posix {

namespace {

constexpr std::uint32_t kNodeHeaderSize = 6;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Align4(std::uint32_t offset) { return (offset + 3) & ~3u; }

struct Node {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::uint32_t keyChars = 0;
    VersionValue value;
    std::uint32_t children = 0;
};

// The node at `start`, which must end by `limit`.
bool ReadNode(const std::uint8_t* block, std::uint32_t start, std::uint32_t limit, Node* node) {
    if (start > limit || limit - start < kNodeHeaderSize) return false;
    const std::uint16_t length = Le16(block + start);
    if (length < kNodeHeaderSize || length > limit - start) return false;
    node->start = start;
    node->end = start + length;
    const std::uint16_t valueLength = Le16(block + start + 2);
    const std::uint16_t type = Le16(block + start + 4);

    std::uint32_t key = start + kNodeHeaderSize;
    std::uint32_t chars = 0;
    for (;; ++chars) {
        const std::uint32_t at = key + 2 * chars;
        if (at > node->end || node->end - at < 2) return false;  // no NUL inside the node
        if (Le16(block + at) == 0) break;
    }
    node->keyChars = chars;
    const std::uint32_t value = start + Align4(kNodeHeaderSize + 2 * (chars + 1));
    const std::uint32_t valueBytes = type != 0 ? 2u * valueLength : valueLength;
    if (value > node->end || node->end - value < valueBytes) return false;
    node->value = {value, valueLength, type == 1};
    node->children = start + Align4(value - start + valueBytes);
    return true;
}

char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

bool KeyEquals(const std::uint8_t* block, const Node& node, const char* name, std::size_t size) {
    if (node.keyChars != size) return false;
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t stored = Le16(block + node.start + kNodeHeaderSize + 2 * i);
        const auto wanted = static_cast<char16_t>(static_cast<unsigned char>(name[i]));
        if (FoldAscii(stored) != FoldAscii(wanted)) return false;
    }
    return true;
}

bool FindChild(const std::uint8_t* block, const Node& parent, const char* name, std::size_t size,
               Node* child) {
    for (std::uint32_t at = parent.children; at < parent.end;) {
        if (!ReadNode(block, at, parent.end, child)) return false;
        if (KeyEquals(block, *child, name, size)) return true;
        at = child->start + Align4(child->end - child->start);
    }
    return false;
}

}  // namespace

bool FindVersionValue(const std::uint8_t* block, std::uint32_t extent, const char* path,
                      VersionValue* out) {
    Node node;
    if (!ReadNode(block, 0, extent, &node)) return false;
    for (const char* p = path; *p != '\0';) {
        if (*p == '\\') {
            ++p;
            continue;
        }
        const char* end = p;
        while (*end != '\0' && *end != '\\') ++end;
        Node child;
        if (!FindChild(block, node, p, static_cast<std::size_t>(end - p), &child)) return false;
        node = child;
        p = end;
    }
    *out = node.value;
    return true;
}

}  // namespace quarn::os::posix
