// Registry, special folders and process start on POSIX: answered by the
// running program's provider (running_program.h), so that the launch
// sequence runs natively in tests. Text files and the existence test are
// real.
#include "os/shell.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "native_path.h"
#include "running_program.h"

namespace quarn::os {

bool ReadUserRegistryText(const char* keyPath, const char* valueName, char* buffer,
                          std::uint32_t limit) {
    std::string data;
    if (!posix::running::RegistryValue(keyPath, valueName, &data) || data.size() > limit) {
        return false;
    }
    std::size_t n = data.find('\0');
    if (n == std::string::npos) n = data.size();
    std::memcpy(buffer, data.data(), n);
    buffer[n] = '\0';
    return true;
}

bool SpecialFolderPath(int folderId, char* buffer) {
    std::string path;
    if (!posix::running::SpecialFolder(folderId, &path) || path.size() >= kSpecialFolderSize) {
        return false;
    }
    // The shell creates a missing special folder.
    mkdir(posix::NativePath(path.c_str()).c_str(), 0777);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

std::uint32_t StartProcess(const char* commandLine) {
    return posix::running::StartProcess(commandLine);
}

std::FILE* OpenTextFile(const char* path, const char* mode) {
    const std::string native = posix::NativePath(path);
    // Windows refuses to write a read-only file; open() would let a
    // privileged user do it, so the mode bits are checked here.
    struct stat st {};
    if (std::strpbrk(mode, "wa+") != nullptr && stat(native.c_str(), &st) == 0 &&
        (st.st_mode & S_IWUSR) == 0) {
        errno = EACCES;
        return nullptr;
    }
    return std::fopen(native.c_str(), mode);
}

bool PathExistsOnDisk(const char* path) {
    struct stat st {};
    return stat(posix::NativePath(path).c_str(), &st) == 0;
}

}  // namespace quarn::os
