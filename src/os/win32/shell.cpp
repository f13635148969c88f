// Registry, special folders, process start and text files on Win32, through
// the W calls: texts cross the seam as UTF-8.
#include "os/shell.h"

#include <shlobj.h>

#include <cstring>
#include <string>

#include "os/system_library.h"
#include "windows_api.h"

namespace quarn::os {

namespace {

// Closes the key on every path out.
struct RegistryKey {
    HKEY key = nullptr;
    ~RegistryKey() {
        if (key != nullptr) RegCloseKey(key);
    }
};

bool IsTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The value's data in the form the caller sees: UTF-8 for the text types,
// the bytes as stored for the others.
std::string SeamData(DWORD type, const std::string& raw) {
    if (!IsTextType(type)) return raw;
    std::wstring units(raw.size() / 2, L'\0');
    std::memcpy(units.data(), raw.data(), units.size() * sizeof(wchar_t));
    return win32::FromWide(units);
}

}  // namespace

bool ReadUserRegistryText(const char* keyPath, const char* valueName, char* buffer,
                          std::uint32_t limit) {
    std::wstring key;
    std::wstring value;
    if (!win32::WideArgument(keyPath, &key) || !win32::WideArgument(valueName, &value)) {
        return false;
    }
    RegistryKey opened;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened.key) != ERROR_SUCCESS) {
        return false;
    }
    // UTF-16 takes at most two bytes for each byte of UTF-8, so data whose
    // UTF-8 form fits limit fits twice that; longer data gives
    // ERROR_MORE_DATA and is not taken.
    DWORD type = 0;
    std::string raw(std::size_t{limit} * 2, '\0');
    DWORD size = static_cast<DWORD>(raw.size());
    if (RegQueryValueExW(opened.key, value.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(raw.data()), &size) != ERROR_SUCCESS) {
        return false;
    }
    raw.resize(size);
    const std::string data = SeamData(type, raw);
    if (data.size() > limit) return false;
    // Data without a terminator ends at its size; the text ends at its first NUL.
    std::memcpy(buffer, data.data(), data.size());
    buffer[data.size()] = '\0';
    return true;
}

bool SpecialFolderPath(int folderId, char* buffer) {
    // shell32 and the user32 it brings along are KnownDLLs on Windows, but a
    // system whose user32 imports other DLLs (Wine's imports version.dll)
    // would look those up beside the launcher at its start: loaded later,
    // from the system folder only, instead of imported.
    static const auto folderPath = SystemFunctionAs<decltype(&SHGetSpecialFolderPathW)>(
        "shell32.dll", "SHGetSpecialFolderPathW");
    wchar_t path[MAX_PATH] = {};
    if (folderPath == nullptr || folderPath(nullptr, path, folderId, TRUE) == FALSE) return false;
    return win32::CopyAsUtf8(path, std::wcslen(path), buffer, kSpecialFolderSize);
}

std::uint32_t StartProcess(const char* commandLine) {
    if (commandLine == nullptr || std::strlen(commandLine) >= kCommandLineSize) return 0;
    // CreateProcessW may write into the command line; it gets its own copy.
    std::wstring line;
    if (!win32::WideArgument(commandLine, &line)) return 0;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return 0;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return process.dwProcessId;
}

std::FILE* OpenTextFile(const char* path, const char* mode) {
    std::wstring widePath;
    std::wstring wideMode;
    if (!win32::WideArgument(path, &widePath) || !win32::WideArgument(mode, &wideMode)) {
        return nullptr;
    }
    return _wfopen(widePath.c_str(), wideMode.c_str());
}

bool PathExistsOnDisk(const char* path) {
    std::wstring wide;
    return win32::WideArgument(path, &wide) &&
           GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace quarn::os
