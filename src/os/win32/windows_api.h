// The one place that includes the Windows API for the seam's Win32 side.
// WIN32_LEAN_AND_MEAN, NOMINMAX and _WIN32_WINNT come from the build.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/utf8.h"
#include "os/file.h"

namespace quarn::os::win32 {

inline HANDLE ToHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
inline FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

inline FILETIME ToFiletime(const FileTime& time) { return {time.low, time.high}; }
inline FileTime FromFiletime(const FILETIME& time) {
    return {time.dwLowDateTime, time.dwHighDateTime};
}

// The UTF-16 form of a UTF-8 path or text for a W function; false for text
// that is not UTF-8, which no file can be named by.
inline bool ToWide(std::string_view text, std::wstring* wide) {
    wide->clear();
    return AppendUtf16(text, *wide);
}

// A W function's text as UTF-8.
inline std::string FromWide(const wchar_t* text, std::size_t count) {
    std::string out;
    AppendUtf8(text, count, out);
    return out;
}
inline std::string FromWide(const std::wstring& text) { return FromWide(text.data(), text.size()); }

// The UTF-16 form of a seam text for a W call. A null text or one that is
// not UTF-8 fails the call as Windows fails a name it cannot translate,
// rather than reaching the system as some other name.
inline bool WideArgument(const char* text, std::wstring* wide) {
    if (text != nullptr && ToWide(text, wide)) return true;
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
}

// Copies a W call's result as UTF-8 into a seam buffer of `size` bytes,
// NUL-terminated. The seam's limits count bytes of UTF-8: a text that does
// not fit fails as an over-long result of an A call did, leaving an empty
// text behind.
inline bool CopyAsUtf8(const wchar_t* text, std::size_t count, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return false;
    const std::string utf8 = FromWide(text, count);
    if (utf8.size() >= size) {
        buffer[0] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    utf8.copy(buffer, utf8.size());
    buffer[utf8.size()] = '\0';
    return true;
}

// Letters in upper case by the invariant rules, which is how the file
// system matches names whatever their script; ASCII only if the system
// cannot (os/name_case.h).
void FoldCase(std::wstring* text);

}  // namespace quarn::os::win32
