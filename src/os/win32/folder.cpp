// Folders and the working directory on Win32.
#include "os/folder.h"

#include "windows_api.h"

namespace quarn::os {

bool MakeFolder(const char* path) { return CreateDirectoryA(path, nullptr) != FALSE; }

bool FolderExists(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool GetCurrentFolder(char* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) return false;
    // The result is the length without the NUL when the text fits, the size
    // needed with the NUL when it does not, and 0 on failure.
    DWORD length = GetCurrentDirectoryA(size, buffer);
    if (length == 0 || length >= size) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

bool ChangeFolder(const char* path) { return SetCurrentDirectoryA(path) != FALSE; }

}  // namespace quarn::os
