// Folders and the working directory on POSIX.
#include "os/folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include "native_path.h"

namespace quarn::os {

bool MakeFolder(const char* path) {
    return path != nullptr && mkdir(posix::NativePath(path).c_str(), 0777) == 0;
}

bool FolderExists(const char* path) {
    struct stat st {};
    return path != nullptr && stat(posix::NativePath(path).c_str(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

bool GetCurrentFolder(char* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) return false;
    if (getcwd(buffer, size) == nullptr) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

bool ChangeFolder(const char* path) {
    return path != nullptr && chdir(posix::NativePath(path).c_str()) == 0;
}

}  // namespace quarn::os
