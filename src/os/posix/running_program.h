// What a POSIX program knows of itself in the terms of the launch services:
// its own resources, name, path and version resource, the user's language,
// registry values, special folders, and starting a Windows command line.
// Windows asks the system for these; a POSIX program has no such things, so
// they come from a provider that each executable links itself, as objects
// rather than from a library so that no link order can choose between them:
//   - running_program_plain.cpp, in shipped programs (the native quarn):
//     what the process can tell of itself, and "none" for the rest;
//   - the launch table of the tests (tests/support/launch_table.h), which
//     tests and fuzz targets fill in-process.
// A program with neither fails to link, and so does one with both.
#pragma once

#include <cstdint>
#include <string>

#include "os/resources.h"

namespace quarn::os::posix::running {

// The running program's RCDATA resource of that name, compared without
// regard to ASCII case; the bytes live as long as the process.
bool RcData(const char* name, ResourceData* out);

// The first command-line argument, or nullptr.
const char* ProgramName();

// The running program's full path; empty when unknown.
std::string ModulePath();

// The version resource the provider holds for a file name; false sends the
// lookup on to the file on disk.
bool VersionResource(const char* fileName, std::string* bytes);

// The user's default language identifier.
std::uint16_t UserLanguage();

// The data of a value under HKEY_CURRENT_USER\keyPath, as stored.
bool RegistryValue(const char* keyPath, const char* valueName, std::string* data);

// The path of a shell folder by its id.
bool SpecialFolder(int folderId, std::string* path);

// Starts a command line; the process id, or 0 when it was not started.
std::uint32_t StartProcess(const char* commandLine);

}  // namespace quarn::os::posix::running
