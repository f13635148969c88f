// Paths handed to the seam use '\' and '/' alike as separators; POSIX only
// knows '/'.
#pragma once

#include <string>

namespace quarn::os::posix {

inline std::string NativePath(const char* path) {
    std::string native(path);
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

}  // namespace quarn::os::posix
