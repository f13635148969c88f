// Registry, special folders and process start on Win32.
#include "os/shell.h"

#include <shlobj.h>
#include <sys/stat.h>

#include <cstring>

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

}  // namespace

bool ReadUserRegistryText(const char* keyPath, const char* valueName, char* buffer,
                          std::uint32_t limit) {
    RegistryKey opened;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &opened.key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD size = limit;
    // Data longer than limit gives ERROR_MORE_DATA and is not taken.
    if (RegQueryValueExA(opened.key, valueName, nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
        return false;
    }
    buffer[size] = '\0';  // data without a terminator ends at its size
    return true;
}

bool SpecialFolderPath(int folderId, char* buffer) {
    // shell32 and the user32 it brings along are KnownDLLs on Windows, but a
    // system whose user32 imports other DLLs (Wine's imports version.dll)
    // would look those up beside the launcher at its start: loaded later,
    // from the system folder only, instead of imported.
    static const auto folderPath = SystemFunctionAs<decltype(&SHGetSpecialFolderPathA)>(
        "shell32.dll", "SHGetSpecialFolderPathA");
    return folderPath != nullptr && folderPath(nullptr, buffer, folderId, TRUE) != FALSE;
}

std::uint32_t StartProcess(const char* commandLine) {
    // CreateProcessA may write into the command line; it gets its own copy.
    char line[kCommandLineSize];
    std::size_t n = std::strlen(commandLine);
    if (n >= sizeof line) return 0;
    std::memcpy(line, commandLine, n + 1);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return 0;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return process.dwProcessId;
}

std::FILE* OpenTextFile(const char* path, const char* mode) { return std::fopen(path, mode); }

bool PathExistsOnDisk(const char* path) {
    struct _stat st {};
    return _stat(path, &st) == 0;
}

}  // namespace quarn::os
