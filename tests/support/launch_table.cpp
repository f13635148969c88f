// The running program's services answered from the launch table.
#include "support/launch_table.h"

#include <algorithm>
#include <string>
#include <sys/stat.h>

#include "base/text.h"
#include "os/posix/native_path.h"
#include "os/posix/running_program.h"

namespace quarn::testing {

LaunchTable& TestLaunchTable() {
    static LaunchTable table;
    return table;
}

void ResetTestLaunchTable() { TestLaunchTable() = LaunchTable{}; }

}  // namespace quarn::testing

namespace quarn::os::posix::running {

namespace {

using quarn::testing::TestLaunchTable;

// The program path of a command line: the first word, or the quoted text.
std::string ProgramOf(const std::string& commandLine) {
    if (!commandLine.empty() && commandLine[0] == '"') {
        std::size_t close = commandLine.find('"', 1);
        return commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return commandLine.substr(0, commandLine.find(' '));
}

}  // namespace

// Resource names are not case-sensitive on Windows; neither is the table.
bool RcData(const char* name, ResourceData* out) {
    for (const auto& [key, bytes] : TestLaunchTable().resources) {
        if (!EqualsIgnoringAsciiCase(key, name)) continue;
        out->data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        out->size = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), 0xFFFFFFFFu));
        return true;
    }
    return false;
}

const char* ProgramName() {
    const auto& name = TestLaunchTable().programName;
    return name ? name->c_str() : nullptr;
}

std::string ModulePath() { return TestLaunchTable().modulePath; }

bool VersionResource(const char* fileName, std::string* bytes) {
    const auto& blocks = TestLaunchTable().versionBlocks;
    auto found = blocks.find(fileName);
    if (found == blocks.end()) return false;
    *bytes = found->second;
    return true;
}

std::uint16_t UserLanguage() { return TestLaunchTable().userLanguage; }

bool RegistryValue(const char* keyPath, const char* valueName, std::string* data) {
    const auto& registry = TestLaunchTable().registry;
    auto found = registry.find(std::string(keyPath) + "\\" + valueName);
    if (found == registry.end()) return false;
    *data = found->second;
    return true;
}

bool SpecialFolder(int folderId, std::string* path) {
    const auto& folders = TestLaunchTable().specialFolders;
    auto found = folders.find(folderId);
    if (found == folders.end()) return false;
    *path = found->second;
    return true;
}

std::uint32_t StartProcess(const char* commandLine) {
    auto& table = TestLaunchTable();
    table.startedCommandLines.push_back(commandLine);
    struct stat st {};
    if (stat(NativePath(ProgramOf(commandLine).c_str()).c_str(), &st) != 0 ||
        !S_ISREG(st.st_mode)) {
        return 0;
    }
    return table.nextProcessId++;
}

}  // namespace quarn::os::posix::running
