// The running program's services for shipped POSIX programs (see
// running_program.h). A POSIX executable carries no resources or version
// resource, and the system keeps no registry or shell folders: those answer
// "none". Name and path come from the process itself where Linux tells them.
#include "running_program.h"

#include <climits>
#include <cstdio>
#include <unistd.h>

namespace quarn::os::posix::running {

namespace {

// argv[0] as the kernel keeps it: the first NUL-terminated text of
// /proc/self/cmdline. Empty where there is no /proc.
const std::string& FirstArgument() {
    static const std::string argument = [] {
        std::string text;
        if (std::FILE* file = std::fopen("/proc/self/cmdline", "rb")) {
            for (int c = std::fgetc(file); c != EOF && c != '\0'; c = std::fgetc(file)) {
                text.push_back(static_cast<char>(c));
            }
            std::fclose(file);
        }
        return text;
    }();
    return argument;
}

}  // namespace

bool RcData(const char* /*name*/, ResourceData* /*out*/) { return false; }

const char* ProgramName() {
    const std::string& name = FirstArgument();
    return name.empty() ? nullptr : name.c_str();
}

std::string ModulePath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return {};
    return std::string(path, static_cast<std::size_t>(length));
}

bool VersionResource(const char* /*fileName*/, std::string* /*bytes*/) { return false; }

// LANG_NEUTRAL: the system keeps no Windows language for the user.
std::uint16_t UserLanguage() { return 0; }

bool RegistryValue(const char* /*keyPath*/, const char* /*valueName*/, std::string* /*data*/) {
    return false;
}

bool SpecialFolder(int /*folderId*/, std::string* /*path*/) { return false; }

// A Windows command line is not something a POSIX tool starts.
std::uint32_t StartProcess(const char* /*commandLine*/) { return 0; }

}  // namespace quarn::os::posix::running
