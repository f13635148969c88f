// A folder zipped with libzip the way the launcher reads it back: deflated
// files, folder entries ending in '/', names relative to the folder with '/',
// DOS times from the modification times, Unix modes and DOS attributes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace quarn::tool {

struct ZippedFolder {
    std::string bytes;        // the whole archive
    std::uint32_t entries = 0;
};

// Zips folder into zipFile (a scratch file) and reads it back. False with a
// one-line reason when an entry could not be installed by the launcher (its
// name, its kind) or the archive could not be written; an empty folder makes
// no archive.
bool ZipFolder(const std::filesystem::path& folder, const std::filesystem::path& zipFile,
               ZippedFolder* zipped, std::string* error);

}  // namespace quarn::tool
