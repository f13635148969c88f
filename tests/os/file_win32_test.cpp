// The Win32 side of the seam: attributes, access and write times and
// local-to-UTC conversion, checked with the system's own calls.
#include <gtest/gtest.h>

#include <string>

#include "os/dostime.h"
#include "os/file.h"
#include "os/win32/windows_api.h"
#include "support/temp_folder.h"

namespace quarn::os {
namespace {

using quarn::testing::TempFolder;

std::uint64_t Ticks(const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}
FileTime ToFileTime(std::uint64_t ticks) {
    return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

TEST(Win32Attributes, ReadBackAsCreated) {
    TempFolder temp;
    const DWORD kMask = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                        FILE_ATTRIBUTE_ARCHIVE;
    struct Case {
        std::uint32_t attributes;
        DWORD expected;  // within kMask
    };
    // The system marks every new file for archiving.
    const DWORD A = FILE_ATTRIBUTE_ARCHIVE;
    const Case cases[] = {
        {kAttrNormal, A},
        {kAttrArchive, A},
        {kAttrReadOnly, A | FILE_ATTRIBUTE_READONLY},
        {kAttrHidden, A | FILE_ATTRIBUTE_HIDDEN},
        {kAttrSystem, A | FILE_ATTRIBUTE_SYSTEM},
        {kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive, kMask},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        const std::string name = (temp / ("f" + std::to_string(n++))).string();
        FileHandle h = CreateFileWithAttributes(name.c_str(), c.attributes);
        ASSERT_NE(h, kInvalidHandle);
        CloseFile(h);
        DWORD got = GetFileAttributesA(name.c_str());
        ASSERT_NE(got, INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(got & kMask, c.expected);
        SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);  // let the folder go
    }
}

TEST(Win32Attributes, ReadOnlyFileRefusesCreation) {
    TempFolder temp;
    const std::string name = (temp / "ro.bin").string();
    FileHandle h = CreateFileWithAttributes(name.c_str(), kAttrReadOnly);
    ASSERT_NE(h, kInvalidHandle);
    CloseFile(h);
    EXPECT_EQ(CreateFileWithAttributes(name.c_str(), kAttrReadOnly), kInvalidHandle);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(Win32Times, AccessAndWriteTimesReadBack) {
    TempFolder temp;
    const std::string name = (temp / "t.bin").string();
    FileHandle h = CreateFileWithAttributes(name.c_str(), kAttrNormal);
    ASSERT_NE(h, kInvalidHandle);
    std::uint32_t written = 0;
    ASSERT_TRUE(WriteToFile(h, "x", 1, &written));
    const std::uint64_t creation = FileTimeTicksFromUnix(981173106);   // 2001-02-03
    const std::uint64_t access = FileTimeTicksFromUnix(-31536000);     // 1969-01-01
    const std::uint64_t write = FileTimeTicksFromUnix(1262304000) + 5; // 2010-01-01
    ASSERT_TRUE(SetFileTimes(h, ToFileTime(creation), ToFileTime(access), ToFileTime(write)));
    CloseFile(h);

    HANDLE check = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(check, INVALID_HANDLE_VALUE);
    FILETIME c{}, a{}, w{};
    ASSERT_TRUE(GetFileTime(check, &c, &a, &w));
    CloseHandle(check);
    // Creation is not compared: a Linux file system keeps no settable
    // creation time, so Wine reports another one. Windows keeps it.
    EXPECT_EQ(Ticks(a), access);
    EXPECT_EQ(Ticks(w), write);
}

TEST(Win32DosTime, UtcConvertsBackToTheLocalFields) {
    struct Case {
        WORD year, month, day, hour, minute, second;
    };
    const Case cases[] = {{2004, 6, 15, 13, 45, 30}, {1980, 1, 1, 0, 0, 0},
                          {2000, 2, 29, 23, 59, 58}, {2004, 1, 15, 10, 20, 10},
                          {2107, 12, 31, 23, 59, 58}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.year << "-" << c.month << "-" << c.day);
        const auto date = static_cast<std::uint16_t>(((c.year - 1980) << 9) | (c.month << 5) | c.day);
        const auto time = static_cast<std::uint16_t>((c.hour << 11) | (c.minute << 5) | (c.second / 2));
        FileTime utc;
        ASSERT_TRUE(DosDateTimeToUtc(date, time, &utc));
        const FILETIME universal{utc.low, utc.high};
        FILETIME local{};
        SYSTEMTIME fields{};
        ASSERT_TRUE(FileTimeToLocalFileTime(&universal, &local));
        ASSERT_TRUE(FileTimeToSystemTime(&local, &fields));
        EXPECT_EQ(fields.wYear, c.year);
        EXPECT_EQ(fields.wMonth, c.month);
        EXPECT_EQ(fields.wDay, c.day);
        EXPECT_EQ(fields.wHour, c.hour);
        EXPECT_EQ(fields.wMinute, c.minute);
        EXPECT_EQ(fields.wSecond, c.second);
        EXPECT_EQ(fields.wMilliseconds, 0);
    }
}

}  // namespace
}  // namespace quarn::os
