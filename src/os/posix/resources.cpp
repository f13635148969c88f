// Resources, program name and path, and version information on POSIX. The
// running program's come from the launch table; a module or file named on
// its own is read as a PE file from disk, as Windows would load it.
#include "os/resources.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "launch_table.h"
#include "native_path.h"
#include "os/mapping.h"
#include "pe_file.h"
#include "version_block.h"

namespace quarn::os {

namespace {

using posix::TestLaunchTable;

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(const std::string& a, const char* b) {
    const std::size_t size = std::strlen(b);
    if (a.size() != size) return false;
    for (std::size_t i = 0; i < size; ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

// Resource names are not case-sensitive on Windows; neither is the table.
bool FindTableResource(const char* name, ResourceData* out) {
    for (const auto& [key, bytes] : TestLaunchTable().resources) {
        if (!SameName(key, name)) continue;
        out->data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        out->size = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), 0xFFFFFFFFu));
        return true;
    }
    return false;
}

// A module read into memory on first use and kept, like a loaded library
// that is never released: resources handed out point into it.
const MappedFile* LoadModule(const char* moduleName) {
    static std::mutex lock;
    static std::map<std::string, MappedFile> modules;
    const std::string path = posix::NativePath(moduleName);
    std::lock_guard<std::mutex> guard(lock);
    auto found = modules.find(path);
    if (found == modules.end()) {
        MappedFile mapped;
        if (!MapFile(path.c_str(), &mapped)) return nullptr;
        found = modules.emplace(path, mapped).first;
    }
    return &found->second;
}

// The bytes of the file's version resource, as the table or the file has them.
bool VersionResource(const char* fileName, std::string* bytes) {
    if (fileName == nullptr) return false;
    const auto& blocks = TestLaunchTable().versionBlocks;
    if (auto found = blocks.find(fileName); found != blocks.end()) {
        *bytes = found->second;
        return true;
    }
    posix::PeDiskFile file(fileName);
    if (!file.isOpen()) return false;
    posix::ResourceKey first;
    posix::ResourceKey one;
    one.id = 1;
    return posix::ReadPeResource(file, posix::kResourceTypeVersion, one, bytes) ||
           posix::ReadPeResource(file, posix::kResourceTypeVersion, first, bytes);
}

// Room for the resource and for the narrow copies of its texts behind it, as
// the Windows A functions size the block.
constexpr std::uint32_t kNarrowSignatureSize = 4;
constexpr std::uint32_t kLargestVersionResource = 0x7FFFFFF0u;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Keeps the root node's length within what the block holds, so that queries
// never walk past it and the narrow copies fit behind it.
void FitRootLength(std::uint8_t* block, std::uint32_t copied, std::uint32_t size) {
    const std::uint32_t limit = std::min(copied, (size - kNarrowSignatureSize) / 2);
    std::uint32_t length = Le16(block);
    if (length > limit) {
        length = limit;
        block[0] = static_cast<std::uint8_t>(length);
        block[1] = static_cast<std::uint8_t>(length >> 8);
    }
    std::memcpy(block + length, "FE2X", kNarrowSignatureSize);
}

// UTF-16LE to the narrow code page: Latin-1 passes, everything else is '?'.
void NarrowCopy(const std::uint8_t* wide, std::uint32_t count, char* narrow) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint16_t c = Le16(wide + 2 * i);
        narrow[i] = c < 0x100 ? static_cast<char>(c) : '?';
    }
}

}  // namespace

bool FindRcData(const char* moduleName, const char* name, ResourceData* out) {
    if (name == nullptr || out == nullptr) return false;
    if (moduleName == nullptr) return FindTableResource(name, out);
    const MappedFile* module = LoadModule(moduleName);
    if (module == nullptr) return false;
    const posix::PeMemory bytes(module->data, module->size);
    posix::PeResource resource;
    if (!posix::FindPeResource(bytes, posix::kResourceTypeRcData, posix::ResourceKeyFromName(name),
                               &resource)) {
        return false;
    }
    out->data = module->data + resource.fileOffset;
    out->size = resource.size;
    return true;
}

const char* ProgramName() {
    const auto& name = TestLaunchTable().programName;
    return name ? name->c_str() : nullptr;
}

std::uint32_t ModuleFileName(const char* /*moduleName*/, char* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) return 0;
    const std::string& path = TestLaunchTable().modulePath;
    const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(path.size(), size - 1));
    std::memcpy(buffer, path.data(), length);
    buffer[length] = '\0';
    return length;
}

std::uint32_t VersionInfoSize(const char* fileName) {
    std::string bytes;
    if (!VersionResource(fileName, &bytes) || bytes.empty() ||
        bytes.size() > kLargestVersionResource) {
        return 0;
    }
    return static_cast<std::uint32_t>(bytes.size()) * 2 + kNarrowSignatureSize;
}

bool VersionInfo(const char* fileName, std::uint32_t size, void* block) {
    constexpr std::uint32_t kSmallestBlock = 6;  // one node header
    std::string bytes;
    if (block == nullptr || size < kSmallestBlock + kNarrowSignatureSize ||
        !VersionResource(fileName, &bytes) || bytes.size() < kSmallestBlock ||
        bytes.size() > kLargestVersionResource) {
        return false;
    }
    auto* out = static_cast<std::uint8_t*>(block);
    const auto copied = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), size));
    std::memcpy(out, bytes.data(), copied);
    std::memset(out + copied, 0, size - copied);
    FitRootLength(out, copied, size);
    return true;
}

bool QueryVersionValue(const void* block, const char* subBlock, const void** value,
                       std::uint32_t* length) {
    if (length != nullptr) *length = 0;
    if (block == nullptr || subBlock == nullptr || value == nullptr) return false;
    // Like VerQueryValueA, this writes the narrow copies into the block's
    // spare room: the block is the caller's, filled by VersionInfo.
    auto* bytes = static_cast<std::uint8_t*>(const_cast<void*>(block));
    const std::uint32_t extent = Le16(bytes);
    if (bytes[4] >= ' ') return false;  // the 16-bit layout, which has no UTF-16 texts
    posix::VersionValue found;
    if (!posix::FindVersionValue(bytes, extent, subBlock, &found)) return false;
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

std::uint16_t UserDefaultLanguage() { return TestLaunchTable().userLanguage; }

}  // namespace quarn::os
