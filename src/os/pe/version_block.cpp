// Walking a VS_VERSIONINFO tree. Every node must lie inside its parent and
// every key and value inside its node; the walk only ever moves forward, so
// a hostile block ends it rather than loops it.
#include "os/pe/version_block.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "base/bytes.h"
#include "base/text.h"

namespace quarn::os::pe {

namespace {

constexpr std::uint32_t kNodeHeaderSize = 6;

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
    const std::uint16_t length = LoadLe16(block + start);
    if (length < kNodeHeaderSize || length > limit - start) return false;
    node->start = start;
    node->end = start + length;
    const std::uint16_t valueLength = LoadLe16(block + start + 2);
    const std::uint16_t type = LoadLe16(block + start + 4);

    std::uint32_t key = start + kNodeHeaderSize;
    std::uint32_t chars = 0;
    for (;; ++chars) {
        const std::uint32_t at = key + 2 * chars;
        if (at > node->end || node->end - at < 2) return false;  // no NUL inside the node
        if (LoadLe16(block + at) == 0) break;
    }
    node->keyChars = chars;
    const std::uint32_t value = start + Align4(kNodeHeaderSize + 2 * (chars + 1));
    const std::uint32_t valueBytes = type != 0 ? 2u * valueLength : valueLength;
    if (value > node->end || node->end - value < valueBytes) return false;
    node->value = {value, valueLength, type == 1};
    node->children = start + Align4(value - start + valueBytes);
    return true;
}

bool KeyEquals(const std::uint8_t* block, const Node& node, const char* name, std::size_t size) {
    if (node.keyChars != size) return false;
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t stored = LoadLe16(block + node.start + kNodeHeaderSize + 2 * i);
        const auto wanted = static_cast<char16_t>(static_cast<unsigned char>(name[i]));
        if (AsciiUpper(stored) != AsciiUpper(wanted)) return false;
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

// Room for the resource and for the narrow copies of its texts behind it, as
// the Windows A functions size the block.
constexpr std::uint32_t kNarrowSignatureSize = 4;
constexpr std::uint32_t kLargestVersionResource = 0x7FFFFFF0u;

// Keeps the root node's length within what the block holds, so that queries
// never walk past it and the narrow copies fit behind it.
void FitRootLength(std::uint8_t* block, std::uint32_t copied, std::uint32_t size) {
    const std::uint32_t limit = std::min(copied, (size - kNarrowSignatureSize) / 2);
    std::uint32_t length = LoadLe16(block);
    if (length > limit) {
        length = limit;
        StoreLe16(block, static_cast<std::uint16_t>(length));
    }
    std::memcpy(block + length, "FE2X", kNarrowSignatureSize);
}

// UTF-16LE to the narrow code page: Latin-1 passes, everything else is '?'.
void NarrowCopy(const std::uint8_t* wide, std::uint32_t count, char* narrow) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint16_t c = LoadLe16(wide + 2 * i);
        narrow[i] = c < 0x100 ? static_cast<char>(c) : '?';
    }
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

std::uint32_t NarrowBlockSize(std::size_t resourceSize) {
    if (resourceSize == 0 || resourceSize > kLargestVersionResource) return 0;
    return static_cast<std::uint32_t>(resourceSize) * 2 + kNarrowSignatureSize;
}

bool FillNarrowBlock(const std::string& resource, std::uint32_t size, void* block) {
    constexpr std::uint32_t kSmallestBlock = kNodeHeaderSize;
    if (block == nullptr || size < kSmallestBlock + kNarrowSignatureSize ||
        resource.size() < kSmallestBlock || resource.size() > kLargestVersionResource) {
        return false;
    }
    auto* out = static_cast<std::uint8_t*>(block);
    const auto copied = static_cast<std::uint32_t>(std::min<std::size_t>(resource.size(), size));
    std::memcpy(out, resource.data(), copied);
    std::memset(out + copied, 0, size - copied);
    FitRootLength(out, copied, size);
    return true;
}

bool QueryNarrowBlock(const void* block, const char* path, const void** value,
                      std::uint32_t* length) {
    if (length != nullptr) *length = 0;
    if (block == nullptr || path == nullptr || value == nullptr) return false;
    // Like VerQueryValueA, this writes the narrow copies into the block's
    // spare room: the block is the caller's, filled by FillNarrowBlock.
    auto* bytes = static_cast<std::uint8_t*>(const_cast<void*>(block));
    const std::uint32_t extent = LoadLe16(bytes);
    if (bytes[4] >= ' ') return false;  // the 16-bit layout, which has no UTF-16 texts
    VersionValue found;
    if (!FindVersionValue(bytes, extent, path, &found)) return false;
    if (!found.text) {
        *value = bytes + found.offset;
        if (length != nullptr) *length = found.length;
        return true;
    }
    static const char kEmpty[] = "";
    if (found.length == 0 && found.offset >= extent) {
        *value = kEmpty;
        return true;
    }
    // The value lies inside the root node in 2 bytes a character, so its
    // narrow copy and a NUL fit at the same offset behind the node.
    char* narrow = reinterpret_cast<char*>(bytes + extent + kNarrowSignatureSize + found.offset);
    NarrowCopy(bytes + found.offset, found.length, narrow);
    if (found.offset + found.length < extent) narrow[found.length] = '\0';
    *value = narrow;
    if (length != nullptr) *length = found.length;
    return true;
}

}  // namespace quarn::os::pe
