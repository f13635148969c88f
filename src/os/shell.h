// Launch services, part two: the user's registry settings, the shell's
// special folders, starting a program, and C-library text files. POSIX
// serves the first three from the provider the program is linked with
// (posix/running_program.h): shipped programs have no registry or shell
// folders and start no Windows command lines; tests answer from a table they
// fill. Text files and the existence test are real on both. Paths and texts
// are UTF-8; Win32 refuses one that is not.
#pragma once

#include <cstdint>
#include <cstdio>

namespace quarn::os {

// Shell folder ids.
inline constexpr int kFolderDocuments = 5;     // CSIDL_PERSONAL
inline constexpr int kFolderApplicationData = 26;  // CSIDL_APPDATA
inline constexpr std::uint32_t kSpecialFolderSize = 260;
// The longest command line StartProcess takes, with its NUL.
inline constexpr std::uint32_t kCommandLineSize = 260;

// Reads a value under HKEY_CURRENT_USER\keyPath whose data holds at most
// limit bytes (a text counted in its UTF-8 form, a stored terminator
// included), into buffer (limit + 1 bytes): its text up to the first zero
// byte, or all of it when it holds none, always NUL-terminated. False when
// the key or the value is missing or the data is longer than limit.
bool ReadUserRegistryText(const char* keyPath, const char* valueName, char* buffer,
                          std::uint32_t limit);

// The special folder's path into buffer (kSpecialFolderSize bytes of UTF-8
// with the NUL), created when missing. False when the shell has none or the
// path does not fit.
bool SpecialFolderPath(int folderId, char* buffer);

// Starts the command line (program path first, as the system parses it; at
// most kCommandLineSize bytes with the NUL) as a new process inheriting environment and working directory; does not wait.
// The process id, or 0 when it could not be started.
std::uint32_t StartProcess(const char* commandLine);

// fopen with the seam's path rules ('\' is a separator on POSIX too).
std::FILE* OpenTextFile(const char* path, const char* mode);

// True when anything exists under the path (file, folder, other).
bool PathExistsOnDisk(const char* path);

}  // namespace quarn::os
