#include "launch/paths.h"

#include <cstdlib>
#include <cstring>

#include "os/folder.h"
#include "os/shell.h"

namespace quarn {

namespace {

bool IsDriveRoot(const char* path) {
    return IsAsciiLetter(path[0]) && path[1] == ':' && IsPathSeparator(path[2]) && path[3] == '\0';
}

bool HasDrivePrefix(const char* path) {
    return IsAsciiLetter(path[0]) && path[1] == ':' && path[2] != '\0';
}

}  // namespace

bool AppendPathSeparator(char* path, std::size_t capacity) {
    if (path == nullptr) return true;
    std::size_t n = std::strlen(path);
    if (n > 0 && IsPathSeparator(path[n - 1])) return true;
    if (n + 2 > capacity) return false;
    path[n] = '\\';
    path[n + 1] = '\0';
    return true;
}

const char* FindLastSeparator(const char* text) {
    if (text == nullptr) return nullptr;
    for (std::size_t i = std::strlen(text); i-- > 0;) {
        if (IsPathSeparator(text[i])) return text + i;
    }
    return nullptr;
}

const char* FindFirstSeparator(const char* position) {
    if (position == nullptr) return nullptr;
    for (; *position != '\0'; ++position) {
        if (IsPathSeparator(*position)) return position;
    }
    return nullptr;
}

char* ParentPathCopy(const char* text) {
    const char* last = FindLastSeparator(text);
    if (last == nullptr) return nullptr;
    std::size_t n = static_cast<std::size_t>(last - text);
    auto* copy = static_cast<char*>(std::malloc(n + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, n);
    copy[n] = '\0';
    return copy;
}

bool PathExists(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    std::size_t n = std::strlen(path);
    char* copy = static_cast<char*>(std::malloc(n + 1));
    if (copy == nullptr) return false;
    std::memcpy(copy, path, n + 1);
    // One trailing separator only: "C:\a\\" is tested as "C:\a\".
    if (!IsDriveRoot(copy) && IsPathSeparator(copy[n - 1])) copy[n - 1] = '\0';
    bool exists = os::PathExistsOnDisk(copy);
    std::free(copy);
    return exists;
}

bool CreateFolderPath(const char* path) {
    char* parent = ParentPathCopy(path);
    if (parent == nullptr) return path == nullptr || FindLastSeparator(path) == nullptr;
    char* scan = parent;
    if (HasDrivePrefix(scan)) scan += 2;
    if (IsPathSeparator(*scan)) ++scan;
    bool ok = true;
    while (*scan != '\0') {
        char* separator = const_cast<char*>(FindFirstSeparator(scan));
        if (separator != nullptr) *separator = '\0';
        if (!PathExists(parent) && !os::MakeFolder(parent)) {
            ok = false;
            break;
        }
        if (separator == nullptr) break;
        *separator = '\\';
        scan = separator + 1;
    }
    std::free(parent);
    return ok;
}

}  // namespace quarn
