// The POSIX side of the seam: separators, unseekable pipes, mode bits, times and zones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "os/dostime.h"
#include "os/file.h"
#include "os/folder.h"
#include "os/mapping.h"
#include "support/pipe.h"
#include "support/temp_folder.h"

namespace quarn::os {
namespace {

using quarn::testing::ReadWholeFile;
using quarn::testing::TempFolder;
using quarn::testing::WorkingFolderGuard;
using quarn::testing::WriteWholeFile;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Sets the process umask for one scope.
class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : saved_(umask(mask)) {}
    ~UmaskGuard() { umask(saved_); }

private:
    mode_t saved_;
};

// Sets TZ for one scope.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

TEST(PosixPaths, BackslashesAreSeparators) {
    TempFolder temp;
    const std::string base = temp.text();
    EXPECT_TRUE(MakeFolder((base + "\\a").c_str()));
    EXPECT_TRUE(MakeFolder((base + "\\a\\b").c_str()));
    EXPECT_TRUE(FolderExists((base + "\\a\\b\\").c_str()));

    FileHandle out = CreateFileWithAttributes((base + "\\a\\b\\c.txt").c_str(), kAttrNormal);
    ASSERT_NE(out, kInvalidHandle);
    std::uint32_t written = 0;
    EXPECT_TRUE(WriteToFile(out, "abc", 3, &written));
    CloseFile(out);
    EXPECT_EQ(ReadWholeFile(temp / "a/b/c.txt"), "abc");

    FileHandle in = OpenForReading((base + "\\a\\b\\c.txt").c_str());
    ASSERT_NE(in, kInvalidHandle);
    CloseFile(in);
    MappedFile mapped;
    EXPECT_TRUE(MapFile((base + "\\a\\b\\c.txt").c_str(), &mapped));
    EXPECT_EQ(mapped.size, 3u);
    UnmapFile(&mapped);

    WorkingFolderGuard guard;
    ASSERT_TRUE(ChangeFolder((base + "\\a").c_str()));
    EXPECT_TRUE(FolderExists("b"));
    EXPECT_TRUE(ChangeFolder("b\\..\\b"));
    EXPECT_EQ(ReadWholeFile("c.txt"), "abc");
}

TEST(PosixPipe, CannotSeek) {
    quarn::testing::TestPipe p;
    EXPECT_EQ(SeekFile(p.readEnd(), 0, SeekCurrent), 0xFFFFFFFFu);
    EXPECT_EQ(SeekFile(p.readEnd(), 4, SeekBegin), 0xFFFFFFFFu);
}

TEST(PosixModes, CreatedModesFollowReadOnlyAndTheUmask) {
    TempFolder temp;
    UmaskGuard mask(022);
    struct Case {
        std::uint32_t attributes;
        mode_t mode;
    };
    const Case cases[] = {{kAttrNormal, 0644},
                          {kAttrArchive | kAttrHidden | kAttrSystem, 0644},
                          {kAttrReadOnly, 0444},
                          {kAttrReadOnly | kAttrArchive, 0444}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        const std::string name = (temp / ("f" + std::to_string(n++))).string();
        FileHandle h = CreateFileWithAttributes(name.c_str(), c.attributes);
        ASSERT_NE(h, kInvalidHandle);
        CloseFile(h);
        EXPECT_EQ(ModeOf(name), c.mode);
    }
}

TEST(PosixModes, OverwriteNeedsTheOwnerWriteBit) {
    // Checked by the seam itself, so it holds for root as well.
    TempFolder temp;
    struct Case {
        mode_t mode;
        bool overwritten;
    };
    const Case cases[] = {{0644, true}, {0600, true}, {0200, true},
                          {0444, false}, {0466, false}, {0000, false}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::oct << c.mode);
        const std::string name = (temp / ("f" + std::to_string(n++))).string();
        WriteWholeFile(name, "old");
        ASSERT_EQ(chmod(name.c_str(), c.mode), 0);
        FileHandle h = CreateFileWithAttributes(name.c_str(), kAttrNormal);
        EXPECT_EQ(h != kInvalidHandle, c.overwritten);
        CloseFile(h);
        chmod(name.c_str(), 0600);
        EXPECT_EQ(ReadWholeFile(name), c.overwritten ? "" : "old");
    }
}

TEST(PosixModes, OverwriteWithReadOnlyMakesTheFileReadOnly) {
    // CREATE_ALWAYS gives an overwritten file the new attributes too.
    TempFolder temp;
    const std::string name = (temp / "f").string();
    WriteWholeFile(name, "old");
    ASSERT_EQ(chmod(name.c_str(), 0640), 0);
    FileHandle h = CreateFileWithAttributes(name.c_str(), kAttrReadOnly);
    ASSERT_NE(h, kInvalidHandle);
    std::uint32_t written = 0;
    EXPECT_TRUE(WriteToFile(h, "new", 3, &written));
    CloseFile(h);
    EXPECT_EQ(ModeOf(name), 0440u);
    EXPECT_EQ(ReadWholeFile(name), "new");
}

TEST(PosixTimes, AccessAndWriteTimesKeepTheirTicks) {
    TempFolder temp;
    const std::string name = (temp / "t.bin").string();
    FileHandle h = CreateFileWithAttributes(name.c_str(), kAttrNormal);
    ASSERT_NE(h, kInvalidHandle);
    // 2004-06-15 13:45:30.1234567 and 1969-01-01 UTC, before Unix time.
    const std::uint64_t access = FileTimeTicksFromUnix(1087307130) + 1234567;
    const std::uint64_t write = FileTimeTicksFromUnix(-31536000);
    const FileTime creation{1, 0};
    ASSERT_TRUE(SetFileTimes(h, creation,
                             {static_cast<std::uint32_t>(access), static_cast<std::uint32_t>(access >> 32)},
                             {static_cast<std::uint32_t>(write), static_cast<std::uint32_t>(write >> 32)}));
    CloseFile(h);
    struct stat st {};
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1087307130);
    EXPECT_EQ(st.st_atim.tv_nsec, 123456700);
    EXPECT_EQ(st.st_mtim.tv_sec, -31536000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 0);
}

TEST(PosixTimes, ZeroTimeLeavesThatTimeAlone) {
    TempFolder temp;
    const std::string name = (temp / "t.bin").string();
    FileHandle h = CreateFileWithAttributes(name.c_str(), kAttrNormal);
    ASSERT_NE(h, kInvalidHandle);
    const std::uint64_t write = FileTimeTicksFromUnix(981173106);
    const FileTime set{static_cast<std::uint32_t>(write), static_cast<std::uint32_t>(write >> 32)};
    ASSERT_TRUE(SetFileTimes(h, set, set, set));
    ASSERT_TRUE(SetFileTimes(h, {}, {}, {}));
    CloseFile(h);
    struct stat st {};
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 981173106);
    EXPECT_EQ(st.st_mtim.tv_sec, 981173106);
}

TEST(PosixDosTime, LocalFieldsFollowTheZonesRules) {
    struct Case {
        const char* zone;
        int year, month, day, hour, minute, second;
        std::int64_t unixSeconds;
    };
    const Case cases[] = {
        {"UTC0", 2004, 6, 15, 13, 45, 30, 1087307130},
        {"UTC0", 1980, 1, 1, 0, 0, 0, 315532800},
        {"UTC0", 2107, 12, 31, 23, 59, 58, 4354819198},
        {"UTC0", 2000, 2, 29, 12, 0, 0, 951825600},
        // Central Europe: +1 in winter, +2 in summer.
        {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, 6, 15, 13, 45, 30, 1087307130 - 7200},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 2004, 1, 15, 10, 20, 10, 1074162010 - 3600},
        // Eastern North America: -4 in summer.
        {"EST5EDT,M3.2.0,M11.1.0", 2004, 6, 15, 13, 45, 30, 1087307130 + 14400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.zone << " " << c.year << "-" << c.month << "-"
                                          << c.day);
        ZoneGuard zone(c.zone);
        const auto date = static_cast<std::uint16_t>(((c.year - 1980) << 9) | (c.month << 5) | c.day);
        const auto time = static_cast<std::uint16_t>((c.hour << 11) | (c.minute << 5) | (c.second / 2));
        FileTime utc;
        ASSERT_TRUE(DosDateTimeToUtc(date, time, &utc));
        const std::uint64_t expected = FileTimeTicksFromUnix(c.unixSeconds);
        EXPECT_EQ(utc, (FileTime{static_cast<std::uint32_t>(expected),
                                 static_cast<std::uint32_t>(expected >> 32)}));
    }
}

}  // namespace
}  // namespace quarn::os
