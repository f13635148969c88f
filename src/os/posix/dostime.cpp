// DOS date and time to UTC through the C library's local-time rules.
#include "os/dostime.h"

#include <ctime>

namespace quarn::os {

namespace {

struct DosFields {
    int year, month, day, hour, minute, second;
};

DosFields Decode(std::uint16_t date, std::uint16_t time) {
    return {(date >> 9) + 1980, (date >> 5) & 0x0F, date & 0x1F,
            time >> 11,         (time >> 5) & 0x3F, (time & 0x1F) * 2};
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The same checks Windows applies before it converts the fields.
bool IsValid(const DosFields& f) {
    return f.second <= 59 && f.minute <= 59 && f.hour <= 23 && f.month >= 1 && f.month <= 12 &&
           f.day >= 1 && f.day <= DaysInMonth(f.year, f.month);
}

}  // namespace

bool DosDateTimeToUtc(std::uint16_t dosDate, std::uint16_t dosTime, FileTime* utc) {
    DosFields f = Decode(dosDate, dosTime);
    if (!IsValid(f)) return false;
    std::tm local{};
    local.tm_year = f.year - 1900;
    local.tm_mon = f.month - 1;
    local.tm_mday = f.day;
    local.tm_hour = f.hour;
    local.tm_min = f.minute;
    local.tm_sec = f.second;
    local.tm_isdst = -1;  // let the zone's rules decide whether summer time applies
    std::time_t t = std::mktime(&local);
    // DOS dates start in 1980, so -1 is the library's failure, not a time.
    if (t == static_cast<std::time_t>(-1)) return false;
    const std::uint64_t ticks = FileTimeTicksFromUnix(t);
    utc->low = static_cast<std::uint32_t>(ticks);
    utc->high = static_cast<std::uint32_t>(ticks >> 32);
    return true;
}

}  // namespace quarn::os
