// Resources, program name and path, and version information on Win32: the
// real W calls, texts as UTF-8. The version block is read with the W
// functions and answered by the portable walker (os/pe/version_block.h), so
// that both systems give one UTF-8 answer. The version functions live in
// version.dll, which is not among the DLLs Windows always takes from the
// system folder: imported statically, a version.dll planted beside the
// launcher would be loaded in its place. So it is loaded on first use, from
// the system folder only (os/system_library.h).
#include "os/resources.h"

#include <algorithm>
#include <string>

#include "base/bytes.h"
#include "os/pe/version_block.h"
#include "os/system_library.h"
#include "windows_api.h"

#include <winver.h>  // left out by WIN32_LEAN_AND_MEAN

namespace quarn::os {

namespace {

struct VersionFunctions {
    decltype(&GetFileVersionInfoSizeW) infoSize = nullptr;
    decltype(&GetFileVersionInfoW) info = nullptr;
    bool usable() const { return infoSize != nullptr && info != nullptr; }
};

// Found once; all null when the system has no usable version.dll, and then
// every version call fails as for a file without version information.
const VersionFunctions& Version() {
    static const VersionFunctions functions = [] {
        VersionFunctions found;
        found.infoSize =
            SystemFunctionAs<decltype(found.infoSize)>("version.dll", "GetFileVersionInfoSizeW");
        found.info = SystemFunctionAs<decltype(found.info)>("version.dll", "GetFileVersionInfoW");
        return found;
    }();
    return functions;
}

// The file's version resource, as GetFileVersionInfoW copies it to the start
// of its block: the root node's bytes.
bool VersionResource(const char* fileName, std::string* resource) {
    std::wstring wide;
    if (!Version().usable() || !win32::WideArgument(fileName, &wide)) return false;
    DWORD ignored = 0;
    const DWORD size = Version().infoSize(wide.c_str(), &ignored);
    if (size < 2) return false;
    std::string block(size, '\0');
    if (!Version().info(wide.c_str(), 0, size, block.data())) return false;
    const std::uint32_t length = LoadLe16(reinterpret_cast<const std::uint8_t*>(block.data()));
    block.resize(std::min<std::uint32_t>(length, size));
    *resource = std::move(block);
    return true;
}

// Windows' rule for the program's own argument: a quoted one runs to the
// next quote, any other to the first blank or tab.
std::wstring FirstArgument(const wchar_t* line) {
    if (*line == L'"') {
        const wchar_t* start = line + 1;
        const wchar_t* end = start;
        while (*end != L'\0' && *end != L'"') ++end;
        return std::wstring(start, end);
    }
    const wchar_t* end = line;
    while (*end != L'\0' && *end != L' ' && *end != L'\t') ++end;
    return std::wstring(line, end);
}

// The module's full path, however long; false when the system has none.
bool ModulePath(HMODULE module, std::wstring* path) {
    constexpr DWORD kLongestPath = 32768;
    for (DWORD size = MAX_PATH;; size *= 2) {
        path->assign(size, L'\0');
        const DWORD length = GetModuleFileNameW(module, path->data(), size);
        if (length == 0) return false;
        // A cut path comes back as the whole size.
        if (length < size) {
            path->resize(length);
            return true;
        }
        if (size >= kLongestPath) return false;
    }
}

}  // namespace

bool FindRcData(const char* moduleName, const char* name, ResourceData* out) {
    std::wstring wideName;
    if (out == nullptr || !win32::WideArgument(name, &wideName)) return false;
    HMODULE module = nullptr;
    if (moduleName == nullptr) {
        module = GetModuleHandleW(nullptr);
    } else {
        // A named module is loaded for good: the resource must outlive the call.
        std::wstring wideModule;
        if (!win32::WideArgument(moduleName, &wideModule)) return false;
        module = LoadLibraryW(wideModule.c_str());
    }
    if (module == nullptr) return false;
    HRSRC resource = FindResourceW(module, wideName.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (resource == nullptr) return false;
    HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr) return false;
    const void* data = LockResource(loaded);
    if (data == nullptr) return false;
    out->data = static_cast<const std::uint8_t*>(data);
    out->size = SizeofResource(module, resource);
    return true;
}

const char* ProgramName() {
    // Read once: the command line is the process's and does not change.
    static const struct Name {
        std::string text;
        bool present = false;
    } name = [] {
        const wchar_t* line = GetCommandLineW();
        Name found;
        if (line == nullptr || *line == L'\0') return found;
        const std::wstring first = FirstArgument(line);
        found.text = win32::FromWide(first);
        found.present = true;
        return found;
    }();
    return name.present ? name.text.c_str() : nullptr;
}

std::uint32_t ModuleFileName(const char* moduleName, char* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) return 0;
    buffer[0] = '\0';
    // A module that is not loaded gives the null handle: the program itself.
    HMODULE module = nullptr;
    if (moduleName != nullptr) {
        std::wstring wide;
        if (!win32::WideArgument(moduleName, &wide)) return 0;
        module = GetModuleHandleW(wide.c_str());
    }
    std::wstring path;
    if (!ModulePath(module, &path)) return 0;
    // Cut to the buffer as the A call did, but between two characters.
    const std::string utf8 = win32::FromWide(path);
    const std::size_t length = Utf8PrefixLength(utf8, size - 1);
    utf8.copy(buffer, length);
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

std::uint32_t VersionInfoSize(const char* fileName) {
    std::string resource;
    return VersionResource(fileName, &resource) ? pe::Utf8BlockSize(resource.size()) : 0;
}

bool VersionInfo(const char* fileName, std::uint32_t size, void* block) {
    std::string resource;
    return VersionResource(fileName, &resource) && pe::FillUtf8Block(resource, size, block);
}

bool QueryVersionValue(const void* block, const char* subBlock, const void** value,
                       std::uint32_t* length) {
    return pe::QueryUtf8Block(block, subBlock, value, length);
}

std::uint16_t UserDefaultLanguage() { return GetUserDefaultLangID(); }

}  // namespace quarn::os
