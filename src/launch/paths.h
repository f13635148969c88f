// Path and folder helpers on UTF-8 path texts. '\' and '/' are both
// separators; an added or restored separator is always '\'. Every helper
// accepts a missing text and then does nothing or gives none.
#pragma once

#include <cstddef>

#include "base/text.h"

namespace quarn {

// Appends '\' unless the path already ends in a separator (an empty path
// becomes "\"). False, with the path unchanged, when capacity (the buffer's
// size with its NUL) leaves no room.
bool AppendPathSeparator(char* path, std::size_t capacity);

const char* FindLastSeparator(const char* text);
// The first separator at or after position.
const char* FindFirstSeparator(const char* position);

// Everything before the last separator, in a block the caller frees with
// std::free; nullptr when there is no separator (or no memory).
char* ParentPathCopy(const char* text);

// True when anything exists under the path; a trailing separator is dropped
// first, except from a drive root such as "C:\".
bool PathExists(const char* path);

// Creates every missing folder up to the path's last separator; true when
// they all exist afterwards.
bool CreateFolderPath(const char* path);

}  // namespace quarn
