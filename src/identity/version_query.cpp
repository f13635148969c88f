#include "identity/version_query.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/utf8.h"
#include "os/resources.h"

namespace quarn {

namespace {

// Holds the query paths in turn, and at last the FileVersion text.
char versionText[kVersionTextSize];

constexpr std::uint32_t kModulePathSize = 1025;
// A reported length (UTF-16 units) of this or more is cut to kVersionTextCut
// bytes of UTF-8.
constexpr std::uint32_t kLongValue = 256;
constexpr std::uint32_t kVersionTextCut = 250;

// The path of a string value from the one translation entry (language, then
// code page, each as four hex digits), or from the user's language with code
// page 04B0 when the table is missing or has other than one entry.
void BuildStringValuePath(const void* block, const char* valueName) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (os::QueryVersionValue(block, "\\VarFileInfo\\Translation", &value, &length) &&
        value != nullptr && length == 4) {
        const auto* entry = static_cast<const std::uint8_t*>(value);
        std::snprintf(versionText, sizeof versionText, "\\StringFileInfo\\%02X%02X%02X%02X\\%s",
                      entry[1], entry[0], entry[3], entry[2], valueName);
    } else {
        std::snprintf(versionText, sizeof versionText, "\\StringFileInfo\\%04X04B0\\%s",
                      static_cast<unsigned>(os::UserDefaultLanguage()), valueName);
    }
}

// A value reported as long is cut; either way the copy stops at the text's
// end and fits the buffer, and a cut falls between two characters.
void CopyVersionValue(const char* value, std::uint32_t length) {
    const std::size_t limit = length >= kLongValue ? kVersionTextCut : kVersionTextSize - 1;
    // Look a whole character past the limit, so that one cut by it is seen
    // whole and left out.
    std::size_t end = 0;
    while (end < limit + 4 && value[end] != '\0') ++end;
    const std::size_t n = Utf8PrefixLength(std::string_view(value, end), limit);
    std::memcpy(versionText, value, n);
    versionText[n] = '\0';
}

// Reads a string value of a file's version information into versionText;
// false when the file has no version information or no such value for the
// chosen translation.
bool ReadVersionString(const char* fileName, const char* valueName) {
    const std::uint32_t size = os::VersionInfoSize(fileName);
    if (size == 0) return false;
    auto* block = static_cast<char*>(std::malloc(std::size_t{size} + 1));
    if (block == nullptr) return false;
    bool found = false;
    if (os::VersionInfo(fileName, size, block)) {
        block[size] = '\0';  // a text value at the very end still ends inside the block
        BuildStringValuePath(block, valueName);
        const void* value = nullptr;
        std::uint32_t length = 0;
        found = os::QueryVersionValue(block, versionText, &value, &length) && value != nullptr;
        if (found) CopyVersionValue(static_cast<const char*>(value), length);
    }
    std::free(block);
    return found;
}

// fileName, or the running program's own path in *ownPath (freed by the
// caller) for nullptr; nullptr when the program's path is not known.
const char* VersionFileName(const char* fileName, char** ownPath) {
    *ownPath = nullptr;
    if (fileName != nullptr) return fileName;
    const char* program = os::ProgramName();
    if (program == nullptr) return nullptr;
    *ownPath = static_cast<char*>(std::malloc(kModulePathSize));
    if (*ownPath == nullptr) return nullptr;
    const std::uint32_t n = os::ModuleFileName(program, *ownPath, kModulePathSize);
    (*ownPath)[n < kModulePathSize ? n : kModulePathSize - 1] = '\0';
    return *ownPath;
}

bool ReadVersionStringOf(const char* fileName, const char* valueName) {
    char* ownPath = nullptr;
    fileName = VersionFileName(fileName, &ownPath);
    const bool found = fileName != nullptr && ReadVersionString(fileName, valueName);
    std::free(ownPath);
    return found;
}

}  // namespace

std::uint32_t GetFileBuildNumber(const char* fileName, const char** versionTextOut) {
    if (versionTextOut != nullptr) *versionTextOut = nullptr;
    const bool found = ReadVersionStringOf(fileName, "FileVersion");
    if (!found) return 0;

    unsigned short numbers[4] = {0, 0, 0, 0};
    std::sscanf(versionText, "%hu.%hu.%hu.%hu", &numbers[0], &numbers[1], &numbers[2], &numbers[3]);
    if (versionTextOut != nullptr) *versionTextOut = versionText;
    return numbers[3];
}

std::string GetOriginalFilename(const char* fileName) {
    if (!ReadVersionStringOf(fileName, "OriginalFilename")) return {};
    return versionText;
}

}  // namespace quarn
