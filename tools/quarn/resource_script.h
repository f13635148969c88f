// The resource script of a package: the package resources as files, the
// version resource and the launcher's dialog template 102.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quarn::tool {

using FileVersion = std::array<std::uint16_t, 4>;

struct PackageResources {
    std::string gameData;    // file of the payload archive
    std::string gameId;      // file of GAMEID; empty: none
    std::string gameConfig;  // file of GAMECONFIG; empty: none
    // The program the launcher starts, recorded as OriginalFilename, so that
    // a package saved under another name still finds it; empty: none.
    std::string programName;
};

// "A.B.C.D", four numbers 0 to 65535 (digits only); false for anything else.
bool ParseFileVersion(std::string_view text, FileVersion* version);
std::string FormatFileVersion(const FileVersion& version);

// A string literal of the resource script: quoted, with '\' and '"' escaped.
std::string ResourceString(std::string_view text);

// The kit's script of the hidden dialog 102, copied beside the package's
// script, which includes it.
inline constexpr std::string_view kDialogScript = "dialog.rc";

std::string MakeResourceScript(const PackageResources& files, const FileVersion& version);

}  // namespace quarn::tool
