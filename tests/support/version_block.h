// Builds the bytes of a version information resource (VS_VERSIONINFO) as
// Windows lays it out, so that tests can hand version data to the POSIX
// launch table:
//
//   TestLaunchTable().versionBlocks["game.exe"] = FileVersionBlock("2.5.1.340");
//
// Every structure starts on a 32-bit boundary; keys and string values are
// UTF-16LE (given as UTF-8), wLength excludes trailing padding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quarn::testing {

struct VersionTranslation {
    std::uint16_t language = 0x0409;
    std::uint16_t codePage = 0x04B0;
};

struct VersionStringTable {
    std::string key;  // 8 hex digits, language then code page: "040904B0"
    std::vector<std::pair<std::string, std::string>> strings;  // name, value
};

struct VersionBlockContent {
    std::uint32_t fileVersionMS = 0;  // in VS_FIXEDFILEINFO; the launcher reads the string
    std::uint32_t fileVersionLS = 0;
    std::vector<VersionStringTable> stringTables;  // none: no StringFileInfo
    // Each entry is 4 bytes: language (low word), code page (high word).
    // None: no VarFileInfo at all; an empty list: a Translation of 0 bytes.
    std::optional<std::vector<VersionTranslation>> translations;
};

std::string BuildVersionBlock(const VersionBlockContent& content);

// One translation 0409/04B0 and its table holding FileVersion.
std::string FileVersionBlock(const std::string& fileVersion);

}  // namespace quarn::testing
