// The build number: the fourth number of a file's FileVersion string.
#pragma once

#include <cstdint>

namespace quarn {

inline constexpr std::uint32_t kVersionTextSize = 256;

// fileName: nullptr for the running program. versionTextOut (optional) gets
// the FileVersion text on success, nullptr otherwise. 0 on any failure.
std::uint32_t GetFileBuildNumber(const char* fileName, const char** versionTextOut);

}  // namespace quarn
