// Walking a VS_VERSIONINFO tree. Every node must lie inside its parent and
// every key and value inside its node; the walk only ever moves forward, so
// a hostile block ends it rather than loops it.
#include "os/pe/version_block.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "base/bytes.h"
#include "base/text.h"
#include "base/utf8.h"

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

// Behind the root node: the signature, then the copies' room.
constexpr std::uint32_t kSignatureSize = 4;
constexpr std::uint32_t kLargestVersionResource = 0x30000000u;

// Where the copy of a text at `offset` of a root node of `extent` bytes
// starts: 3 bytes of room for each 2 bytes of the node.
std::uint32_t CopyAt(std::uint32_t extent, std::uint32_t offset) {
    return extent + kSignatureSize + offset / 2 * 3 + offset % 2;
}

// The block that holds a root node of `extent` bytes and its copies: a text
// ends inside the node, so its copy and its NUL end by CopyAt(extent, extent)
// plus that NUL.
std::uint64_t BlockFor(std::uint32_t extent) { return std::uint64_t{CopyAt(extent, extent)} + 1; }

// Keeps the root node's length within what the block holds, so that queries
// never walk past it and the copies fit behind it.
void FitRootLength(std::uint8_t* block, std::uint32_t copied, std::uint32_t size) {
    std::uint32_t length = std::min<std::uint32_t>(LoadLe16(block), copied);
    while (length > 0 && BlockFor(length) > size) --length;
    if (length != LoadLe16(block)) StoreLe16(block, static_cast<std::uint16_t>(length));
    std::memcpy(block + length, "FE2X", kSignatureSize);
}

// UTF-16LE units to UTF-8.
std::string Utf8Copy(const std::uint8_t* wide, std::uint32_t count) {
    std::u16string units(count, u'\0');
    for (std::uint32_t i = 0; i < count; ++i) units[i] = LoadLe16(wide + 2 * i);
    std::string out;
    AppendUtf8(units.data(), units.size(), out);
    return out;
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

std::uint32_t Utf8BlockSize(std::size_t resourceSize) {
    if (resourceSize == 0 || resourceSize > kLargestVersionResource) return 0;
    return static_cast<std::uint32_t>(BlockFor(static_cast<std::uint32_t>(resourceSize)));
}

bool FillUtf8Block(const std::string& resource, std::uint32_t size, void* block) {
    constexpr std::uint32_t kSmallestBlock = kNodeHeaderSize;
    if (block == nullptr || size < BlockFor(kSmallestBlock) ||
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

bool QueryUtf8Block(const void* block, const char* path, const void** value,
                    std::uint32_t* length) {
    if (length != nullptr) *length = 0;
    if (block == nullptr || path == nullptr || value == nullptr) return false;
    // As VerQueryValue does, this writes the copies into the block's spare
    // room: the block is the caller's, filled by FillUtf8Block.
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
    // The value lies inside the root node in 2 bytes a unit, so its copy of
    // at most 3 bytes a unit and a NUL fit before the next value's copy.
    const std::string text = Utf8Copy(bytes + found.offset, found.length);
    char* copy = reinterpret_cast<char*>(bytes + CopyAt(extent, found.offset));
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    *value = copy;
    if (length != nullptr) *length = found.length;
    return true;
}

}  // namespace quarn::os::pe
