#include "identity/version_query.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/resources.h"

namespace quarn {

namespace {

// Holds the query paths in turn, and at last the FileVersion text.
char versionText[kVersionTextSize];

constexpr std::uint32_t kModulePathSize = 1025;
// A reported length of this or more is cut to kVersionTextCut characters.
constexpr std::uint32_t kLongValue = 256;
constexpr std::uint32_t kVersionTextCut = 250;

// The FileVersion path from the one translation entry (language, then code
// page, each as four hex digits), or from the user's language with code
// page 04B0 when the table is missing or has other than one entry.
void BuildFileVersionPath(const void* block) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (os::QueryVersionValue(block, "\\VarFileInfo\\Translation", &value, &length) &&
        value != nullptr && length == 4) {
        const auto* entry = static_cast<const std::uint8_t*>(value);
        std::snprintf(versionText, sizeof versionText, "\\StringFileInfo\\%02X%02X%02X%02X\\FileVersion",
                      entry[1], entry[0], entry[3], entry[2]);
    } else {
        std::snprintf(versionText, sizeof versionText, "\\StringFileInfo\\%04X04B0\\FileVersion",
                      static_cast<unsigned>(os::UserDefaultLanguage()));
    }
}

// A value reported as long is cut; either way the copy stops at the text's
// end and fits the buffer.
void CopyVersionValue(const char* value, std::uint32_t length) {
    const std::size_t limit = length >= kLongValue ? kVersionTextCut : kVersionTextSize - 1;
    std::size_t n = 0;
    while (n < limit && value[n] != '\0') ++n;
    std::memcpy(versionText, value, n);
    versionText[n] = '\0';
}

// Reads the FileVersion text of a file into versionText; false when the file
// has no version information or no FileVersion for the chosen translation.
bool ReadFileVersionText(const char* fileName) {
    const std::uint32_t size = os::VersionInfoSize(fileName);
    if (size == 0) return false;
    auto* block = static_cast<char*>(std::malloc(std::size_t{size} + 1));
    if (block == nullptr) return false;
    bool found = false;
    if (os::VersionInfo(fileName, size, block)) {
        block[size] = '\0';  // a text value at the very end still ends inside the block
        BuildFileVersionPath(block);
        const void* value = nullptr;
        std::uint32_t length = 0;
        found = os::QueryVersionValue(block, versionText, &value, &length) && value != nullptr;
        if (found) CopyVersionValue(static_cast<const char*>(value), length);
    }
    std::free(block);
    return found;
}

}  // namespace

std::uint32_t GetFileBuildNumber(const char* fileName, const char** versionTextOut) {
    if (versionTextOut != nullptr) *versionTextOut = nullptr;

    char* ownPath = nullptr;
    if (fileName == nullptr) {
        const char* program = os::ProgramName();
        if (program == nullptr) return 0;
        ownPath = static_cast<char*>(std::malloc(kModulePathSize));
        if (ownPath == nullptr) return 0;
        const std::uint32_t n = os::ModuleFileName(program, ownPath, kModulePathSize);
        ownPath[n < kModulePathSize ? n : kModulePathSize - 1] = '\0';
        fileName = ownPath;
    }
    const bool found = ReadFileVersionText(fileName);
    std::free(ownPath);
    if (!found) return 0;

    unsigned short numbers[4] = {0, 0, 0, 0};
    std::sscanf(versionText, "%hu.%hu.%hu.%hu", &numbers[0], &numbers[1], &numbers[2], &numbers[3]);
    if (versionTextOut != nullptr) *versionTextOut = versionText;
    return numbers[3];
}

}  // namespace quarn
