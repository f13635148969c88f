// Registry, special folders and process start on POSIX: answered from the
// launch table, so that the launch sequence runs natively in tests. Text
// files and the existence test are real.
#include "os/shell.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "launch_table.h"
#include "native_path.h"

namespace quarn::os {

namespace {

// The program path of a command line: the first word, or the quoted text.
std::string ProgramOf(const std::string& commandLine) {
    if (!commandLine.empty() && commandLine[0] == '"') {
        std::size_t close = commandLine.find('"', 1);
        return commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return commandLine.substr(0, commandLine.find(' '));
}

}  // namespace

bool ReadUserRegistryText(const char* keyPath, const char* valueName, char* buffer,
                          std::uint32_t limit) {
    const auto& registry = posix::TestLaunchTable().registry;
    auto found = registry.find(std::string(keyPath) + "\\" + valueName);
    if (found == registry.end() || found->second.size() > limit) return false;
    const std::string& data = found->second;
    std::size_t n = data.find('\0');
    if (n == std::string::npos) n = data.size();
    std::memcpy(buffer, data.data(), n);
    buffer[n] = '\0';
    return true;
}

bool SpecialFolderPath(int folderId, char* buffer) {
    const auto& folders = posix::TestLaunchTable().specialFolders;
    auto found = folders.find(folderId);
    if (found == folders.end() || found->second.size() >= kSpecialFolderSize) return false;
    // The shell creates a missing special folder.
    mkdir(posix::NativePath(found->second.c_str()).c_str(), 0777);
    std::memcpy(buffer, found->second.c_str(), found->second.size() + 1);
    return true;
}

std::uint32_t StartProcess(const char* commandLine) {
    auto& table = posix::TestLaunchTable();
    table.startedCommandLines.push_back(commandLine);
    struct stat st {};
    if (stat(posix::NativePath(ProgramOf(commandLine).c_str()).c_str(), &st) != 0 ||
        !S_ISREG(st.st_mode)) {
        return 0;
    }
    return table.nextProcessId++;
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
