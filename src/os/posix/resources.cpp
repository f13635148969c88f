// Resources, program name and path, and version information on POSIX. The
// running program's come from its provider (running_program.h); a module or
// file named on its own is read as a PE file from disk, as Windows would
// load it.
#include "os/resources.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "native_path.h"
#include "os/mapping.h"
#include "os/pe/pe_file.h"
#include "os/pe/version_block.h"
#include "running_program.h"

namespace quarn::os {

namespace {

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

// The bytes of the file's version resource, as the provider or the file has
// them.
bool VersionResource(const char* fileName, std::string* bytes) {
    if (fileName == nullptr) return false;
    if (posix::running::VersionResource(fileName, bytes)) return true;
    pe::PeDiskFile file(fileName);
    if (!file.isOpen()) return false;
    pe::ResourceKey first;
    pe::ResourceKey one;
    one.id = 1;
    return pe::ReadPeResource(file, pe::kResourceTypeVersion, one, bytes) ||
           pe::ReadPeResource(file, pe::kResourceTypeVersion, first, bytes);
}

}  // namespace

bool FindRcData(const char* moduleName, const char* name, ResourceData* out) {
    if (name == nullptr || out == nullptr) return false;
    if (moduleName == nullptr) return posix::running::RcData(name, out);
    const MappedFile* module = LoadModule(moduleName);
    if (module == nullptr) return false;
    const pe::PeMemory bytes(module->data, module->size);
    pe::PeResource resource;
    if (!pe::FindPeResource(bytes, pe::kResourceTypeRcData, pe::ResourceKeyFromName(name),
                            &resource)) {
        return false;
    }
    out->data = module->data + resource.fileOffset;
    out->size = resource.size;
    return true;
}

const char* ProgramName() { return posix::running::ProgramName(); }

std::uint32_t ModuleFileName(const char* /*moduleName*/, char* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) return 0;
    const std::string path = posix::running::ModulePath();
    const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(path.size(), size - 1));
    std::memcpy(buffer, path.data(), length);
    buffer[length] = '\0';
    return length;
}

std::uint32_t VersionInfoSize(const char* fileName) {
    std::string bytes;
    if (!VersionResource(fileName, &bytes)) return 0;
    return pe::Utf8BlockSize(bytes.size());
}

bool VersionInfo(const char* fileName, std::uint32_t size, void* block) {
    std::string bytes;
    return VersionResource(fileName, &bytes) && pe::FillUtf8Block(bytes, size, block);
}

bool QueryVersionValue(const void* block, const char* subBlock, const void** value,
                       std::uint32_t* length) {
    return pe::QueryUtf8Block(block, subBlock, value, length);
}

std::uint16_t UserDefaultLanguage() { return posix::running::UserLanguage(); }

}  // namespace quarn::os
