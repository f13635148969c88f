// Installs the payload: the ZIP archive in the module's GAMEDATA resource,
// unpacked into a folder in place, read-only, without a copy.
#pragma once

namespace quarn {

// moduleName: nullptr for the running program; folder: nullptr for the
// working directory. 1 when the resource was found and unpacking was tried,
// 0 when it is missing or empty. complete (optional) tells whether every
// entry was installed intact.
int InstallPayload(const char* moduleName, const char* folder, bool* complete);

}  // namespace quarn
