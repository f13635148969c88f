// What a package carries besides the launcher's code: the names of its
// resources. The launcher reads them and quarn pack writes them, so both
// take the names from here.
#pragma once

namespace quarn {

// The game's files as a ZIP archive (RCDATA).
inline constexpr char kPayloadResource[] = "GAMEDATA";
// The enciphered identity record (RCDATA).
inline constexpr char kIdentityResource[] = "GAMEID";
// The enciphered configuration archive (RCDATA), optional.
inline constexpr char kConfigResource[] = "GAMECONFIG";

}  // namespace quarn
