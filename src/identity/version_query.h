// The build number: the fourth number of a file's FileVersion string; and
// the program's name that a package records as OriginalFilename.
#pragma once

#include <cstdint>
#include <string>

namespace quarn {

inline constexpr std::uint32_t kVersionTextSize = 256;

// fileName: nullptr for the running program. versionTextOut (optional) gets
// the FileVersion text on success, nullptr otherwise. 0 on any failure.
std::uint32_t GetFileBuildNumber(const char* fileName, const char** versionTextOut);

// The OriginalFilename string of a file's version information (nullptr: the
// running program), found as FileVersion is; empty when there is none. The
// text is as the file holds it: callers check it before use.
std::string GetOriginalFilename(const char* fileName);

}  // namespace quarn
