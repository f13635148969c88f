// Folders and the process's working directory: the operating-system seam.
// Paths are UTF-8 texts; on POSIX every '\' is taken as '/'.
#pragma once

#include <cstdint>

namespace quarn::os {

// Creates one folder level; false when it fails, also when it exists.
bool MakeFolder(const char* path);

// True when the path names an existing folder.
bool FolderExists(const char* path);

// Writes the working directory, NUL-terminated, into buffer. False when the
// system fails or the text with its NUL does not fit size bytes; the buffer
// then holds an empty text (when size > 0).
bool GetCurrentFolder(char* buffer, std::uint32_t size);

bool ChangeFolder(const char* path);

}  // namespace quarn::os
