// DOS date and time, read as local time, to UTC on Win32.
#include "os/dostime.h"

#include "windows_api.h"

namespace quarn::os {

namespace {

// Wine's time-fields check takes every February as 29 days long; Windows
// rejects 29 February outside leap years, and so must we everywhere.
bool IsLeapDayOfACommonYear(std::uint16_t dosDate) {
    int year = (dosDate >> 9) + 1980;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return ((dosDate >> 5) & 0x0F) == 2 && (dosDate & 0x1F) == 29 && !leap;
}

}  // namespace

bool DosDateTimeToUtc(std::uint16_t dosDate, std::uint16_t dosTime, FileTime* utc) {
    if (IsLeapDayOfACommonYear(dosDate)) return false;
    FILETIME local{};
    FILETIME universal{};
    if (!DosDateTimeToFileTime(dosDate, dosTime, &local)) return false;
    if (!LocalFileTimeToFileTime(&local, &universal)) return false;
    *utc = win32::FromFiletime(universal);
    return true;
}

}  // namespace quarn::os
