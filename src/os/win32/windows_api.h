// The one place that includes the Windows API for the seam's Win32 side.
// WIN32_LEAN_AND_MEAN, NOMINMAX and _WIN32_WINNT come from the build.
#pragma once

#include <windows.h>

#include "os/file.h"

namespace quarn::os::win32 {

inline HANDLE ToHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
inline FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

inline FILETIME ToFiletime(const FileTime& time) { return {time.low, time.high}; }
inline FileTime FromFiletime(const FILETIME& time) {
    return {time.dwLowDateTime, time.dwHighDateTime};
}

}  // namespace quarn::os::win32
