// DOS date and time to UTC: which fields are accepted and how they count.
#include "os/dostime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

namespace quarn::os {
namespace {

std::uint16_t DosDate(int year, int month, int day) {
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

// seconds2 is the stored field: half the seconds.
std::uint16_t DosTime(int hour, int minute, int seconds2) {
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | seconds2);
}

std::int64_t Ticks(const FileTime& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.high) << 32) | t.low);
}

struct Fields {
    int year, month, day, hour, minute, seconds2;
    bool valid;
};

TEST(DosDateTime, AcceptsExactlyTheValidFields) {
    const Fields cases[] = {
        {2004, 6, 15, 13, 45, 15, true},   // 13:45:30
        {1980, 1, 1, 0, 0, 0, true},       // the first DOS date
        {2107, 12, 31, 23, 59, 29, true},  // the last one, 23:59:58
        {2000, 2, 29, 12, 0, 0, true},     // leap day of a century leap year
        {2024, 2, 29, 12, 0, 0, true},
        {2001, 2, 29, 12, 0, 0, false},    // no leap year
        {2100, 2, 29, 12, 0, 0, false},    // century, not a leap year
        {2001, 2, 28, 12, 0, 0, true},
        {2003, 4, 31, 12, 0, 0, false},    // April has 30 days
        {2003, 4, 30, 12, 0, 0, true},
        {2003, 1, 31, 12, 0, 0, true},
        {2003, 0, 10, 12, 0, 0, false},    // month 0
        {2003, 13, 10, 12, 0, 0, false},   // month 13
        {2003, 15, 10, 12, 0, 0, false},
        {2003, 5, 0, 12, 0, 0, false},     // day 0
        {2003, 5, 10, 24, 0, 0, false},    // hour 24
        {2003, 5, 10, 31, 0, 0, false},
        {2003, 5, 10, 12, 60, 0, false},   // minute 60
        {2003, 5, 10, 12, 63, 0, false},
        {2003, 5, 10, 12, 0, 30, false},   // 60 seconds
        {2003, 5, 10, 12, 0, 31, false},
        {2003, 5, 10, 12, 0, 29, true},    // 58 seconds
    };
    for (const Fields& f : cases) {
        SCOPED_TRACE(::testing::Message() << f.year << "-" << f.month << "-" << f.day << " "
                                          << f.hour << ":" << f.minute << ":" << 2 * f.seconds2);
        const FileTime untouched{0x12345678, 0x9ABCDEF0};
        FileTime utc = untouched;
        EXPECT_EQ(DosDateTimeToUtc(DosDate(f.year, f.month, f.day),
                                   DosTime(f.hour, f.minute, f.seconds2), &utc),
                  f.valid);
        if (f.valid) {
            EXPECT_NE(utc, untouched);
        } else {
            EXPECT_EQ(utc, untouched);
        }
    }
}

TEST(DosDateTime, FieldsCountInTheirUnits) {
    // Steps within one winter day, away from any summer-time change.
    const std::uint16_t date = DosDate(2004, 1, 15);
    FileTime base;
    ASSERT_TRUE(DosDateTimeToUtc(date, DosTime(10, 20, 5), &base));
    struct Step {
        std::uint16_t time;
        std::int64_t seconds;
    };
    const Step steps[] = {
        {DosTime(10, 20, 6), 2},
        {DosTime(10, 20, 29), 48},
        {DosTime(10, 21, 5), 60},
        {DosTime(11, 20, 5), 3600},
        {DosTime(9, 20, 5), -3600},
        {DosTime(0, 0, 0), -(10 * 3600 + 20 * 60 + 10)},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.seconds);
        FileTime t;
        ASSERT_TRUE(DosDateTimeToUtc(date, s.time, &t));
        EXPECT_EQ(Ticks(t) - Ticks(base), s.seconds * kFileTimeTicksPerSecond);
    }
    FileTime nextDay;
    ASSERT_TRUE(DosDateTimeToUtc(DosDate(2004, 1, 16), DosTime(10, 20, 5), &nextDay));
    EXPECT_EQ(Ticks(nextDay) - Ticks(base), 86400 * kFileTimeTicksPerSecond);
}

TEST(DosDateTime, ResultIsNearTheUtcOfTheSameFields) {
    // Whatever the local zone, it is within 14 hours of UTC.
    FileTime t;
    ASSERT_TRUE(DosDateTimeToUtc(DosDate(2004, 6, 15), DosTime(13, 45, 15), &t));
    const auto utcTicks = static_cast<std::int64_t>(FileTimeTicksFromUnix(1087307130));
    EXPECT_LE(std::abs(Ticks(t) - utcTicks), 14 * 3600 * kFileTimeTicksPerSecond);
}

}  // namespace
}  // namespace quarn::os
