// Folders and the working directory on Win32, through the W calls.
#include "os/folder.h"

#include <string>

#include "windows_api.h"

namespace quarn::os {

bool MakeFolder(const char* path) {
    std::wstring wide;
    return win32::WideArgument(path, &wide) && CreateDirectoryW(wide.c_str(), nullptr) != FALSE;
}

bool FolderExists(const char* path) {
    std::wstring wide;
    if (!win32::WideArgument(path, &wide)) return false;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool GetCurrentFolder(char* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    // The result is the length without the NUL when the text fits, the size
    // needed with the NUL when it does not, and 0 on failure. Another thread
    // may change the folder between two calls: ask again while it grows.
    std::wstring wide(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(wide.size()), wide.data());
        if (length == 0) return false;
        if (length < wide.size()) return win32::CopyAsUtf8(wide.data(), length, buffer, size);
        wide.assign(length, L'\0');
    }
}

bool ChangeFolder(const char* path) {
    std::wstring wide;
    return win32::WideArgument(path, &wide) && SetCurrentDirectoryW(wide.c_str()) != FALSE;
}

}  // namespace quarn::os
