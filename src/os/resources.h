// Launch services, part one: resources of a module, the program's own name
// and path, and version information.
//
// Win32: the real calls. POSIX: a module or file given by name is read as a
// PE file from disk (os/pe), so that native tools can look into real
// packages; the running program's own resources, name, path and version data
// come from the provider the program is linked with (posix/running_program.h):
// none of them in shipped programs, a table that tests fill in tests. Names,
// paths and version texts are UTF-8 on both.
#pragma once

#include <cstdint>

namespace quarn::os {

struct ResourceData {
    const std::uint8_t* data = nullptr;  // read-only; lives as long as the process
    std::uint32_t size = 0;
};

// Finds the RCDATA resource of that name: in the running program when
// moduleName is nullptr, else in the named module, which is loaded first and
// never released. False when the module or the resource is missing, or the
// resource cannot be loaded; a found resource may be empty.
bool FindRcData(const char* moduleName, const char* name, ResourceData* out);

// The program's name as its command line gave it (the first argument), or
// nullptr when there are no arguments.
const char* ProgramName();

// The full path of the loaded module of that name (the running program when
// none is loaded under it, or for nullptr), at most size - 1 bytes cut
// between two characters, NUL-terminated; the length written, 0 on failure.
std::uint32_t ModuleFileName(const char* moduleName, char* buffer, std::uint32_t size);

// The file's version information block: its size (0 when it has none), and
// the block itself into a buffer of that size.
std::uint32_t VersionInfoSize(const char* fileName);
bool VersionInfo(const char* fileName, std::uint32_t size, void* block);

// A value in a version information block by its path, such as
// "\VarFileInfo\Translation" (binary) or
// "\StringFileInfo\040904B0\FileVersion" (a UTF-8 text, NUL-terminated, with
// *length its size in UTF-16 units as stored). *value points into the block.
bool QueryVersionValue(const void* block, const char* subBlock, const void** value,
                       std::uint32_t* length);

// The user's default language identifier.
std::uint16_t UserDefaultLanguage();

}  // namespace quarn::os
