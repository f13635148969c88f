// The configuration archive GAMECONFIG (a ZIP archive enciphered with key 0)
// and the guest identity "Guest.<program file name>" taken when GAMEID gives
// none but the configuration holds hub.ini.
#pragma once

#include <cstdint>

namespace quarn {

// The content of a file in the configuration archive, with a NUL after it,
// in a block the caller frees with std::free; nullptr when there is none.
// The deciphered archive is kept open for the process; a call without a
// file name releases it. moduleName matters only for the call that opens it.
char* ReadConfigFile(const char* moduleName, const char* fileName, std::uint32_t* sizeOut);

// The game identity, else the guest identity, else nullptr. Valid until the
// next call.
const char* GetLaunchIdentity();

}  // namespace quarn
