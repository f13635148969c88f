// Resources, program name and path, and version information on Win32: the
// real calls. The version functions live in version.dll, which is not among
// the DLLs Windows always takes from the system folder: imported statically,
// a version.dll planted beside the launcher would be loaded in its place. So
// it is loaded on first use, from the system folder only (os/system_library.h).
#include "os/resources.h"

#include <stdlib.h>  // __argc, __argv

#include "os/system_library.h"
#include "windows_api.h"

#include <winver.h>  // left out by WIN32_LEAN_AND_MEAN

namespace quarn::os {

namespace {

struct VersionFunctions {
    decltype(&GetFileVersionInfoSizeA) infoSize = nullptr;
    decltype(&GetFileVersionInfoA) info = nullptr;
    decltype(&VerQueryValueA) query = nullptr;
    bool usable() const { return infoSize != nullptr && info != nullptr && query != nullptr; }
};

// Found once; all null when the system has no usable version.dll, and then
// every version call fails as for a file without version information.
const VersionFunctions& Version() {
    static const VersionFunctions functions = [] {
        VersionFunctions found;
        found.infoSize = SystemFunctionAs<decltype(found.infoSize)>("version.dll", "GetFileVersionInfoSizeA");
        found.info = SystemFunctionAs<decltype(found.info)>("version.dll", "GetFileVersionInfoA");
        found.query = SystemFunctionAs<decltype(found.query)>("version.dll", "VerQueryValueA");
        return found;
    }();
    return functions;
}

}  // namespace

bool FindRcData(const char* moduleName, const char* name, ResourceData* out) {
    if (name == nullptr || out == nullptr) return false;
    // A named module is loaded for good: the resource must outlive the call.
    if (moduleName != nullptr && LoadLibraryA(moduleName) == nullptr) return false;
    HMODULE module = GetModuleHandleA(moduleName);
    if (module == nullptr) return false;
    HRSRC resource = FindResourceA(module, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (resource == nullptr) return false;
    HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr) return false;
    const void* data = LockResource(loaded);
    if (data == nullptr) return false;
    out->data = static_cast<const std::uint8_t*>(data);
    out->size = SizeofResource(module, resource);
    return true;
}

const char* ProgramName() { return __argc > 0 && __argv != nullptr ? __argv[0] : nullptr; }

std::uint32_t ModuleFileName(const char* moduleName, char* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) return 0;
    // A module that is not loaded gives the null handle: the program itself.
    HMODULE module = GetModuleHandleA(moduleName);
    DWORD length = GetModuleFileNameA(module, buffer, size);
    // A cut path comes back as the whole size; keep it closed at size - 1.
    if (length >= size) length = size - 1;
    buffer[length] = '\0';
    return length;
}

std::uint32_t VersionInfoSize(const char* fileName) {
    if (!Version().usable()) return 0;
    DWORD ignored = 0;
    return Version().infoSize(fileName, &ignored);
}

bool VersionInfo(const char* fileName, std::uint32_t size, void* block) {
    return Version().usable() && Version().info(fileName, 0, size, block) != FALSE;
}

bool QueryVersionValue(const void* block, const char* subBlock, const void** value,
                       std::uint32_t* length) {
    if (length != nullptr) *length = 0;
    if (block == nullptr || subBlock == nullptr || value == nullptr) return false;
    void* found = nullptr;
    UINT size = 0;
    if (!Version().usable() || !Version().query(block, subBlock, &found, &size)) return false;
    *value = found;
    if (length != nullptr) *length = size;
    return true;
}

std::uint16_t UserDefaultLanguage() { return GetUserDefaultLangID(); }

}  // namespace quarn::os
