// A folder zipped with libzip the way the launcher reads it back: deflated
// files, folder entries ending in '/', names relative to the folder with '/',
// DOS times from the modification times, Unix modes and DOS attributes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quarn::tool {

struct ZipOptions {
    // Globs of names left out: '*' and '?' stay within one name part; a
    // pattern without '/' matches a name part at any depth, one with '/' the
    // path from the top; a trailing '/' matches folders only, which are left
    // out with all they hold.
    std::vector<std::string> excludes;
    // Later modification times are recorded as this one (SOURCE_DATE_EPOCH).
    std::optional<std::int64_t> latestTime;
    // A name that must be in the archive, not left out: the game's program.
    std::string required;
    // Deflate level, 1 to 9; 0 stores the files.
    int level = 6;
};

struct ZippedFolder {
    std::string bytes;        // the whole archive
    std::uint32_t entries = 0;
    // One line each: entries that install read-only, names that clash on
    // Windows.
    std::vector<std::string> warnings;
};

// Whether the glob matches the whole of text; '*' and '?' do not match '/'.
bool GlobMatches(std::string_view glob, std::string_view text);

// Whether an entry of this relative name ('/'-separated, folders without a
// trailing '/') is left out by one of the patterns.
bool IsExcluded(const std::vector<std::string>& patterns, std::string_view name, bool folder);

// The DOS date (high half) and time (low half) of a Unix time read as UTC,
// within the DOS range 1980-2107, to even seconds. UTC makes the archive
// independent of the time zone it is made in.
std::uint32_t DosTimeFromUnix(std::int64_t seconds);

// Zips folder into zipFile (a scratch file) and reads it back. The same
// files give the same bytes: entries in byte order of their names, no time
// but the files' own. False with a one-line reason when an entry could not
// be installed by the launcher (its name, its kind), the required name is
// missing, or the archive could not be written; an empty folder makes no
// archive.
bool ZipFolder(const std::filesystem::path& folder, const std::filesystem::path& zipFile,
               const ZipOptions& options, ZippedFolder* zipped, std::string* error);

}  // namespace quarn::tool
