// The file-handle seam, through behaviour both platforms share.
#include "os/file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

#include "os/folder.h"
#include "support/pipe.h"
#include "support/temp_folder.h"

namespace quarn::os {
namespace {

namespace fs = std::filesystem;
using quarn::testing::ReadWholeFile;
using quarn::testing::TempFolder;
using quarn::testing::WriteWholeFile;

const std::string kDigits = "0123456789abcdefghij";  // 20 bytes

std::string Read(FileHandle h, std::uint32_t count) {
    std::string bytes(count, '\0');
    std::uint32_t done = 0xDEAD;
    EXPECT_TRUE(ReadFromFile(h, bytes.data(), count, &done));
    EXPECT_LE(done, count);
    bytes.resize(done <= count ? done : 0);
    return bytes;
}

// 1601-01-01 to 1970-01-01 is 134774 days (369 years, 89 of them leap
// years), counted by hand: the epoch every tick conversion rests on.
static_assert(FileTimeTicksFromUnix(0) == 134774LL * 86400 * 10000000);

FileTime FromUnixSeconds(std::int64_t seconds) {
    const std::uint64_t ticks = FileTimeTicksFromUnix(seconds);
    return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

std::int64_t UnixSeconds(fs::file_time_type time) {
    auto system = std::chrono::file_clock::to_sys(time);
    return std::chrono::floor<std::chrono::seconds>(system).time_since_epoch().count();
}

bool IsReadOnly(const fs::path& p) {
    return (fs::status(p).permissions() & fs::perms::owner_write) == fs::perms::none;
}

class FileTest : public ::testing::Test {
protected:
    TempFolder temp;
    std::string PathOf(const std::string& name) const { return (temp / name).string(); }
    std::string MakeFile(const std::string& name, const std::string& bytes) {
        WriteWholeFile(temp / name, bytes);
        return PathOf(name);
    }
};

TEST_F(FileTest, OpenReadsFromTheStartAndIsADiskFile) {
    ScopedFile h(OpenForReading(MakeFile("a.bin", kDigits).c_str()));
    ASSERT_TRUE(h.valid());
    EXPECT_TRUE(IsDiskFile(h.get()));
    EXPECT_EQ(SeekFile(h.get(), 0, SeekCurrent), 0u);
    EXPECT_EQ(Read(h.get(), 4), "0123");
    EXPECT_EQ(SeekFile(h.get(), 0, SeekCurrent), 4u);
}

TEST_F(FileTest, OpenFailsForAMissingFile) {
    EXPECT_EQ(OpenForReading(PathOf("missing.bin").c_str()), kInvalidHandle);
    EXPECT_EQ(OpenForReading(PathOf("no-folder/missing.bin").c_str()), kInvalidHandle);
}

TEST_F(FileTest, SeekMovesFromEachOriginAndReportsTheNewPosition) {
    ScopedFile h(OpenForReading(MakeFile("a.bin", kDigits).c_str()));
    ASSERT_TRUE(h.valid());
    struct Case {
        std::int32_t distance;
        SeekOrigin origin;
        std::uint32_t position;
        const char* next;  // the two bytes read there
    };
    const Case cases[] = {
        {5, SeekBegin, 5, "56"},    {3, SeekCurrent, 10, "ab"}, {-4, SeekCurrent, 8, "89"},
        {-2, SeekEnd, 18, "ij"},    {0, SeekEnd, 20, ""},       {0, SeekBegin, 0, "01"},
        {30, SeekBegin, 30, ""},  // past the end is allowed; reads find nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.distance << " from " << c.origin);
        EXPECT_EQ(SeekFile(h.get(), c.distance, c.origin), c.position);
        EXPECT_EQ(Read(h.get(), 2), c.next);
    }
}

TEST_F(FileTest, SeekBeforeTheStartOrWithABadOriginIsRefused) {
    ScopedFile h(OpenForReading(MakeFile("a.bin", kDigits).c_str()));
    ASSERT_TRUE(h.valid());
    ASSERT_EQ(SeekFile(h.get(), 6, SeekBegin), 6u);
    EXPECT_EQ(SeekFile(h.get(), -1, SeekBegin), kSeekFailed);
    EXPECT_EQ(SeekFile(h.get(), -7, SeekCurrent), kSeekFailed);
    EXPECT_EQ(SeekFile(h.get(), -21, SeekEnd), kSeekFailed);
    EXPECT_EQ(SeekFile(h.get(), 0, static_cast<SeekOrigin>(3)), kSeekFailed);
    // A refused seek leaves the position where it was.
    EXPECT_EQ(SeekFile(h.get(), 0, SeekCurrent), 6u);
}

TEST_F(FileTest, ReadsAtTheEndAreShortThenEmpty) {
    ScopedFile h(OpenForReading(MakeFile("a.bin", kDigits).c_str()));
    ASSERT_TRUE(h.valid());
    ASSERT_EQ(SeekFile(h.get(), 15, SeekBegin), 15u);
    EXPECT_EQ(Read(h.get(), 100), "fghij");
    EXPECT_EQ(Read(h.get(), 100), "");
    EXPECT_EQ(Read(h.get(), 0), "");
}

TEST_F(FileTest, ReadOfAnEmptyFileDeliversNothing) {
    ScopedFile h(OpenForReading(MakeFile("empty.bin", "").c_str()));
    ASSERT_TRUE(h.valid());
    EXPECT_TRUE(IsDiskFile(h.get()));
    EXPECT_EQ(Read(h.get(), 16), "");
    EXPECT_EQ(SeekFile(h.get(), 0, SeekEnd), 0u);
}

TEST_F(FileTest, LargeReadDeliversTheWholeFile) {
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
    ScopedFile h(OpenForReading(MakeFile("big.bin", big).c_str()));
    ASSERT_TRUE(h.valid());
    EXPECT_TRUE(Read(h.get(), static_cast<std::uint32_t>(big.size() + 100)) == big);
}

TEST_F(FileTest, InvalidHandleIsRefusedEverywhere) {
    char buffer[4];
    std::uint32_t count = 77;
    EXPECT_EQ(DuplicateFileHandle(kInvalidHandle), kInvalidHandle);
    EXPECT_FALSE(ReadFromFile(kInvalidHandle, buffer, sizeof buffer, &count));
    EXPECT_EQ(count, 0u);
    count = 77;
    EXPECT_FALSE(WriteToFile(kInvalidHandle, "abc", 3, &count));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(IsDiskFile(kInvalidHandle));
    EXPECT_EQ(SeekFile(kInvalidHandle, 0, SeekCurrent), kSeekFailed);
    EXPECT_FALSE(SetFileTimes(kInvalidHandle, {}, {}, {}));
    CloseFile(kInvalidHandle);  // harmless
}

TEST_F(FileTest, ReadingAFileOpenedForWritingFails) {
    ScopedFile h(CreateFileWithAttributes(PathOf("w.bin").c_str(), kAttrNormal));
    ASSERT_TRUE(h.valid());
    char buffer[4];
    std::uint32_t done = 77;
    EXPECT_FALSE(ReadFromFile(h.get(), buffer, sizeof buffer, &done));
    EXPECT_EQ(done, 0u);
}

TEST_F(FileTest, DuplicateStartsAtTheOriginalsPositionAndSeeksOnItsOwn) {
    ScopedFile original(OpenForReading(MakeFile("a.bin", kDigits).c_str()));
    ASSERT_TRUE(original.valid());
    ASSERT_EQ(SeekFile(original.get(), 7, SeekBegin), 7u);
    ScopedFile copy(DuplicateFileHandle(original.get()));
    ASSERT_TRUE(copy.valid());
    EXPECT_NE(copy.get(), original.get());
    EXPECT_TRUE(IsDiskFile(copy.get()));
    EXPECT_EQ(SeekFile(copy.get(), 0, SeekCurrent), 7u);
    EXPECT_EQ(Read(copy.get(), 3), "789");
    // The handle can be closed on its own: the original still reads.
    copy.reset();
    EXPECT_EQ(SeekFile(original.get(), 0, SeekBegin), 0u);
    EXPECT_EQ(Read(original.get(), 2), "01");
}

TEST_F(FileTest, DuplicateOutlivesTheOriginal) {
    ScopedFile original(OpenForReading(MakeFile("a.bin", kDigits).c_str()));
    ASSERT_TRUE(original.valid());
    ScopedFile copy(DuplicateFileHandle(original.get()));
    ASSERT_TRUE(copy.valid());
    original.reset();
    EXPECT_EQ(SeekFile(copy.get(), -3, SeekEnd), 17u);
    EXPECT_EQ(Read(copy.get(), 10), "hij");
}

TEST_F(FileTest, OthersMayReadAFileOpenForReading) {
    std::string name = MakeFile("a.bin", kDigits);
    ScopedFile first(OpenForReading(name.c_str()));
    ScopedFile second(OpenForReading(name.c_str()));
    ASSERT_TRUE(first.valid());
    ASSERT_TRUE(second.valid());
    EXPECT_EQ(Read(first.get(), 3), "012");
    EXPECT_EQ(Read(second.get(), 3), "012");
}

TEST_F(FileTest, CreateWritesANewFile) {
    std::string name = PathOf("new.bin");
    ScopedFile h(CreateFileWithAttributes(name.c_str(), kAttrNormal));
    ASSERT_TRUE(h.valid());
    EXPECT_TRUE(IsDiskFile(h.get()));
    std::uint32_t written = 0;
    EXPECT_TRUE(WriteToFile(h.get(), "hello ", 6, &written));
    EXPECT_EQ(written, 6u);
    EXPECT_TRUE(WriteToFile(h.get(), "world", 5, &written));
    EXPECT_EQ(written, 5u);
    EXPECT_TRUE(WriteToFile(h.get(), "", 0, &written));
    EXPECT_EQ(written, 0u);
    h.reset();
    EXPECT_EQ(ReadWholeFile(name), "hello world");
    EXPECT_FALSE(IsReadOnly(name));
}

TEST_F(FileTest, CreateTruncatesAnExistingFile) {
    std::string name = MakeFile("old.bin", kDigits);
    ScopedFile h(CreateFileWithAttributes(name.c_str(), kAttrArchive));
    ASSERT_TRUE(h.valid());
    std::uint32_t written = 0;
    EXPECT_TRUE(WriteToFile(h.get(), "xy", 2, &written));
    h.reset();
    EXPECT_EQ(ReadWholeFile(name), "xy");
}

TEST_F(FileTest, ReadOnlyFileComesOutReadOnlyAndCannotBeCreatedAgain) {
    std::string name = PathOf("ro.bin");
    ScopedFile h(CreateFileWithAttributes(name.c_str(), kAttrReadOnly | kAttrArchive));
    ASSERT_TRUE(h.valid());
    // The creating handle may still write.
    std::uint32_t written = 0;
    EXPECT_TRUE(WriteToFile(h.get(), "keep", 4, &written));
    EXPECT_EQ(written, 4u);
    h.reset();
    EXPECT_TRUE(IsReadOnly(name));

    EXPECT_EQ(CreateFileWithAttributes(name.c_str(), kAttrNormal), kInvalidHandle);
    EXPECT_EQ(ReadWholeFile(name), "keep");
}

TEST_F(FileTest, CreateFailsOnAFolderOrInAMissingFolder) {
    ASSERT_TRUE(MakeFolder(PathOf("sub").c_str()));
    EXPECT_EQ(CreateFileWithAttributes(PathOf("sub").c_str(), kAttrNormal), kInvalidHandle);
    EXPECT_TRUE(FolderExists(PathOf("sub").c_str()));
    EXPECT_EQ(CreateFileWithAttributes(PathOf("nowhere/x.bin").c_str(), kAttrNormal),
              kInvalidHandle);
}

TEST_F(FileTest, WriteTimeReadsBack) {
    std::string name = PathOf("timed.bin");
    ScopedFile h(CreateFileWithAttributes(name.c_str(), kAttrNormal));
    ASSERT_TRUE(h.valid());
    std::uint32_t written = 0;
    ASSERT_TRUE(WriteToFile(h.get(), "t", 1, &written));
    const std::int64_t when = 1087307130;  // 2004-06-15 13:45:30 UTC
    const FileTime time = FromUnixSeconds(when);
    EXPECT_TRUE(SetFileTimes(h.get(), time, time, time));
    h.reset();
    EXPECT_EQ(UnixSeconds(fs::last_write_time(name)), when);
}

// Whether h is an open handle: a closed one is no disk file any more.
bool IsOpen(FileHandle h) { return IsDiskFile(h); }

TEST_F(FileTest, OwnerClosesWhatItHoldsAndNothingElse) {
    const std::string name = MakeFile("a.bin", kDigits);
    FileHandle raw = kInvalidHandle;
    {
        ScopedFile owner(OpenForReading(name.c_str()));
        raw = owner.get();
        ASSERT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw)) << "closed at the end of the scope";

    ScopedFile kept(OpenForReading(name.c_str()));
    raw = kept.release();
    EXPECT_FALSE(kept.valid());
    kept.reset();  // holds nothing: closes nothing
    EXPECT_TRUE(IsOpen(raw)) << "a released handle stays open";

    ScopedFile retaken(raw);
    const FileHandle next = OpenForReading(name.c_str());
    ASSERT_TRUE(IsOpen(next));
    retaken.reset(next);
    EXPECT_FALSE(IsOpen(raw)) << "reset closes the handle it replaces";
    EXPECT_EQ(retaken.get(), next);
    EXPECT_EQ(Read(retaken.get(), 3), "012");
}

TEST_F(FileTest, OwnershipMovesWithTheOwner) {
    const std::string name = MakeFile("a.bin", kDigits);
    ScopedFile first(OpenForReading(name.c_str()));
    const FileHandle raw = first.get();
    ScopedFile second(std::move(first));
    EXPECT_EQ(first.get(), kInvalidHandle);
    EXPECT_EQ(second.get(), raw);

    ScopedFile third(OpenForReading(name.c_str()));
    const FileHandle replaced = third.get();
    third = std::move(second);
    EXPECT_FALSE(IsOpen(replaced)) << "the assigned-to owner closes what it held";
    EXPECT_EQ(third.get(), raw);
    ScopedFile& same = third;
    third = std::move(same);
    EXPECT_TRUE(IsOpen(raw)) << "self-assignment keeps the handle";
    EXPECT_EQ(Read(third.get(), 2), "01");
}

// Positioned reads, as the PE reader makes them: the offset alone decides,
// whatever the file position, and a read at or past the end is empty.
TEST_F(FileTest, ReadAtTakesItsOffsetAndStopsAtTheEnd) {
    ScopedFile h(OpenForReading(MakeFile("a.bin", kDigits).c_str()));
    ASSERT_TRUE(h.valid());
    std::uint64_t size = 0;
    ASSERT_TRUE(DiskFileSize(h.get(), &size));
    EXPECT_EQ(size, kDigits.size());
    const struct {
        std::uint64_t offset;
        std::uint32_t count;
        const char* bytes;
    } cases[] = {
        {0, 4, "0123"},
        {10, 3, "abc"},
        {18, 4, "ij"},
        {20, 4, ""},
        {25, 4, ""},
        {5, 0, ""},
        // Not cut to the low 32 bits, which would read "12".
        {(std::uint64_t{1} << 32) + 1, 2, ""},
        {std::uint64_t{1} << 40, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        ASSERT_NE(SeekFile(h.get(), 7, SeekBegin), kSeekFailed);
        std::string bytes(c.count, '\0');
        std::uint32_t done = 0xDEAD;
        ASSERT_TRUE(ReadFileAt(h.get(), c.offset, bytes.data(), c.count, &done));
        ASSERT_LE(done, c.count);
        EXPECT_EQ(bytes.substr(0, done), c.bytes);
    }
}

TEST_F(FileTest, OnlyFilesOnDiskHaveASize) {
    std::uint64_t size = 77;
    ScopedFile empty(OpenForReading(MakeFile("empty.bin", "").c_str()));
    ASSERT_TRUE(DiskFileSize(empty.get(), &size));
    EXPECT_EQ(size, 0u);
    quarn::testing::TestPipe pipe;
    size = 77;
    EXPECT_FALSE(DiskFileSize(pipe.readEnd(), &size));
    EXPECT_FALSE(DiskFileSize(kInvalidHandle, &size));
    EXPECT_EQ(size, 77u);
    char buffer[4];
    std::uint32_t done = 77;
    EXPECT_FALSE(ReadFileAt(kInvalidHandle, 0, buffer, sizeof buffer, &done));
    EXPECT_EQ(done, 0u);
}

}  // namespace
}  // namespace quarn::os
