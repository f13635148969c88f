#include "archive/source.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/archive.h"
#include "os/file.h"
#include "support/archive_fixtures.h"
#include "support/temp_folder.h"

namespace quarn {
namespace {

using os::ScopedFile;
using testing::TempFolder;

struct MemorySourceTest : ::testing::Test {
    // Ten bytes "0123456789" as a memory block.
    std::string block = "0123456789";
    ArchiveSource* source = nullptr;
    void SetUp() override {
        std::int32_t error = -7;
        source = OpenSource(block.data(), static_cast<std::uint32_t>(block.size()), SourceMemory,
                            &error);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(error, 0);
    }
    void TearDown() override { EXPECT_EQ(CloseSource(source), 0); }
};

TEST(SourceOpen, UnknownKindsAreArgumentErrors) {
    std::string block = "abc";
    for (std::int32_t kind : {0, 4, -1}) {
        SCOPED_TRACE(kind);
        std::int32_t error = -7;
        EXPECT_EQ(OpenSource(block.data(), 3, kind, &error), nullptr);
        EXPECT_EQ(error, ArchErrArgument);
    }
}

TEST(SourceOpen, MissingFileIsOpenFileError) {
    TempFolder temp;
    std::int32_t error = -7;
    std::string name = (temp / "absent.zip").string();
    EXPECT_EQ(OpenSource(name.c_str(), 0, SourceFileName, &error), nullptr);
    EXPECT_EQ(error, ArchErrOpenFile);
}

TEST(SourceOpen, CloseWithoutSource) { EXPECT_EQ(CloseSource(nullptr), -1); }

TEST_F(MemorySourceTest, ReadNearTheEndDeliversWhatIsThere) {
    char buffer[8] = {};
    ASSERT_EQ(SourceSeek(source, 8, SeekFromStart), 0);
    EXPECT_EQ(SourceRead(buffer, 1, 4, source), 2u);
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_EQ(SourceTell(source), 10u);

    // A partial item is not delivered but its bytes are consumed.
    ASSERT_EQ(SourceSeek(source, 8, SeekFromStart), 0);
    EXPECT_EQ(SourceRead(buffer, 4, 1, source), 0u);
    EXPECT_EQ(SourceTell(source), 10u);
}

TEST_F(MemorySourceTest, SeekOriginsAndBeyondTheEnd) {
    ASSERT_EQ(SourceSeek(source, 3, SeekFromStart), 0);
    ASSERT_EQ(SourceSeek(source, 2, SeekFromCurrent), 0);
    EXPECT_EQ(SourceTell(source), 5u);
    ASSERT_EQ(SourceSeek(source, -4, SeekFromEnd), 0);
    EXPECT_EQ(SourceTell(source), 6u);

    // An unknown origin, or a move before the start or past 32 bits, is
    // refused and leaves the position alone.
    EXPECT_EQ(SourceSeek(source, 1, 7), SeekErrOrigin);
    EXPECT_EQ(SourceSeek(source, -7, SeekFromCurrent), SeekErrOutOfRange);
    EXPECT_EQ(SourceSeek(source, -11, SeekFromEnd), SeekErrOutOfRange);
    EXPECT_EQ(SourceTell(source), 6u);
    ASSERT_EQ(SourceSeek(source, -1, SeekFromStart), 0) << "from the start: unsigned";
    EXPECT_EQ(SourceTell(source), 0xFFFFFFFFu);
    EXPECT_EQ(SourceSeek(source, 1, SeekFromCurrent), SeekErrOutOfRange);

    ASSERT_EQ(SourceSeek(source, 50, SeekFromEnd), 0);
    EXPECT_EQ(SourceTell(source), 60u);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(SourceRead(buffer, 1, 4, source), 0u);
    EXPECT_EQ(std::string(buffer, 4), "xxxx");
    EXPECT_EQ(SourceHasError(source), 0);
}

TEST(MemoryBlock, ViewAndReadAtOffsets) {
    const std::string bytes = "0123456789";
    const MemoryBlock block{reinterpret_cast<const std::uint8_t*>(bytes.data()), 10};
    struct Case {
        std::uint32_t offset, size;
        const char* view;  // nullptr: no view
        const char* read;  // what a read delivers
    };
    const Case cases[] = {
        {0, 10, "0123456789", "0123456789"},
        {8, 2, "89", "89"},
        {8, 4, nullptr, "89"},  // a view is all or nothing, a read takes what is there
        {10, 0, "", ""},        // the end itself may be viewed
        {11, 0, nullptr, ""},
        {0xFFFFFFFF, 2, nullptr, ""},  // offset plus size must not wrap
        {3, 0xFFFFFFFF, nullptr, "3456789"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.offset << "+" << c.size);
        const std::uint8_t* view = BlockView(block, c.offset, c.size);
        if (c.view == nullptr) {
            EXPECT_EQ(view, nullptr);
        } else {
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(view, block.data + c.offset) << "in place, not a copy";
        }
        char buffer[16] = {};
        const std::uint32_t n = BlockRead(block, c.offset, buffer, c.size);
        EXPECT_EQ(std::string(buffer, n), c.read);
    }
}

TEST(MemoryBlock, SourcesOverOneBlockKeepTheirOwnCursors) {
    const std::string bytes = testing::PatternBytes(100);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::int32_t error = -7;
    ArchiveSource* first = OpenSource(data, 100, SourceMemory, &error);
    ArchiveSource* second = OpenSource(data, 100, SourceMemory, &error);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(SourceViewsInPlace(first));
    ASSERT_EQ(SourceSeek(first, 40, SeekFromStart), 0);
    ASSERT_EQ(SourceSeek(second, 7, SeekFromStart), 0);

    // Positioned access moves no cursor.
    char buffer[20];
    EXPECT_TRUE(SourceReadAt(second, 90, buffer, 10));
    EXPECT_EQ(std::string(buffer, 10), bytes.substr(90));
    EXPECT_FALSE(SourceReadAt(second, 95, buffer, 10));
    EXPECT_EQ(SourceViewAt(first, 60, 40), data + 60);
    EXPECT_EQ(SourceViewAt(first, 61, 40), nullptr);
    EXPECT_EQ(SourceTell(first), 40u);
    EXPECT_EQ(SourceTell(second), 7u);

    // A fetch takes what the block holds of the stretch in place, however
    // small the buffer; only a stretch that starts at the end gives none.
    std::uint8_t small[4];
    std::uint32_t got = 77;
    EXPECT_EQ(SourceFetchAt(first, 10, 90, small, sizeof small, &got), data + 10);
    EXPECT_EQ(got, 90u);
    EXPECT_EQ(SourceFetchAt(first, 11, 90, small, sizeof small, &got), data + 11);
    EXPECT_EQ(got, 89u);
    got = 77;
    EXPECT_EQ(SourceFetchAt(first, 100, 1, small, sizeof small, &got), nullptr);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(SourceTell(first), 40u);
    CloseSource(first);
    CloseSource(second);
}

TEST(SourceIntegers, LittleEndianAndShortData) {
    // Bytes of a central signature, then one lone byte.
    const unsigned char bytes[] = {0x4B, 0x50, 0x50, 0x4B, 0x01, 0x02, 0x41};
    std::int32_t error = 0;
    ArchiveSource* source = OpenSource(bytes, sizeof bytes, SourceMemory, &error);
    ASSERT_NE(source, nullptr);
    std::uint32_t value = 0;
    EXPECT_EQ(ReadUInt16(source, &value), 0);
    EXPECT_EQ(value, 0x504Bu);
    EXPECT_EQ(ReadUInt32(source, &value), 0);
    EXPECT_EQ(value, 0x02014B50u);

    // The data ends inside the value: no error, the missing bytes read as 0.
    value = 0xDEAD;
    EXPECT_EQ(ReadUInt32(source, &value), 0);
    EXPECT_EQ(value, 0x41u);

    value = 0xDEAD;
    EXPECT_EQ(ReadByte(source, &value), 0);
    EXPECT_EQ(value, 0xDEADu) << "ReadByte at the end writes no value";
    EXPECT_EQ(ReadUInt16(source, &value), 0);
    EXPECT_EQ(value, 0u);
    CloseSource(source);
}

TEST(SourceIntegers, EmptyBlock) {
    const char* nothing = "";
    std::int32_t error = 0;
    ArchiveSource* source = OpenSource(nothing, 0, SourceMemory, &error);
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(SourceSeek(source, 0, SeekFromEnd), 0);
    EXPECT_EQ(SourceTell(source), 0u);
    std::uint32_t value = 77;
    EXPECT_EQ(ReadByte(source, &value), 0);
    EXPECT_EQ(value, 77u);
    CloseSource(source);
}

struct HandleSourceTest : ::testing::Test {
    TempFolder temp;
    std::string name;
    std::string content = testing::PatternBytes(300);  // 300 varied bytes in a file
    void SetUp() override {
        name = (temp / "data.bin").string();
        testing::WriteWholeFile(name, content);
    }
};

TEST_F(HandleSourceTest, PositionsCountFromTheHandlesPositionAtOpen) {
    // The caller's handle stands at offset 100 when the source is opened.
    ScopedFile file(os::OpenForReading(name.c_str()));
    ASSERT_NE(file.get(), os::kInvalidHandle);
    ASSERT_EQ(os::SeekFile(file.get(), 100, os::SeekBegin), 100u);

    std::int32_t error = -7;
    ArchiveSource* source = OpenSource(HandleSource(file.get()), 0, SourceHandle, &error);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(SourceViewsInPlace(source));
    EXPECT_TRUE(source->canSeek);
    EXPECT_EQ(source->baseOffset, 100u);
    EXPECT_EQ(SourceTell(source), 0u);

    std::uint32_t value = 0;
    ASSERT_EQ(SourceSeek(source, 0, SeekFromStart), 0);
    ASSERT_EQ(ReadByte(source, &value), 0);
    EXPECT_EQ(value, static_cast<std::uint8_t>(content[100]));

    ASSERT_EQ(SourceSeek(source, 0, SeekFromEnd), 0);
    EXPECT_EQ(SourceTell(source), 200u);
    ASSERT_EQ(SourceSeek(source, -10, SeekFromCurrent), 0);
    EXPECT_EQ(SourceTell(source), 190u);
    EXPECT_EQ(SourceSeek(source, 0, 3), SeekErrOrigin);
    EXPECT_EQ(SourceTell(source), 190u);

    char buffer[16];
    EXPECT_EQ(SourceRead(buffer, 4, 4, source), 2u) << "10 bytes left: two whole items";
    EXPECT_EQ(SourceHasError(source), 0);
    EXPECT_EQ(CloseSource(source), 0);

    // The caller's handle is still its own, open and usable.
    ASSERT_EQ(os::SeekFile(file.get(), 5, os::SeekBegin), 5u);
    std::uint32_t done = 0;
    ASSERT_TRUE(os::ReadFromFile(file.get(), buffer, 3, &done));
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(std::string(buffer, 3), content.substr(5, 3));
}

TEST_F(HandleSourceTest, FileNameSourceReadsFromTheStart) {
    std::int32_t error = -7;
    ArchiveSource* source = OpenSource(name.c_str(), 0, SourceFileName, &error);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(SourceViewsInPlace(source));
    EXPECT_EQ(source->baseOffset, 0u);
    char buffer[300];
    EXPECT_EQ(SourceRead(buffer, 100, 3, source), 3u);
    EXPECT_EQ(std::string(buffer, 300), content);
    std::uint32_t value = 9;
    EXPECT_EQ(ReadByte(source, &value), 0) << "end of file is no error";
    EXPECT_EQ(value, 9u);
    EXPECT_EQ(SourceHasError(source), 0);
    EXPECT_EQ(CloseSource(source), 0);
}

TEST_F(HandleSourceTest, PositionedReadsCountFromTheOpenAndFetchAtMostABuffer) {
    ScopedFile file(os::OpenForReading(name.c_str()));
    ASSERT_TRUE(file.valid());
    ASSERT_EQ(os::SeekFile(file.get(), 100, os::SeekBegin), 100u);
    std::int32_t error = -7;
    ArchiveSource* source = OpenSource(HandleSource(file.get()), 0, SourceHandle, &error);
    ASSERT_NE(source, nullptr);

    char bytes[8];
    EXPECT_TRUE(SourceReadAt(source, 5, bytes, 8));
    EXPECT_EQ(std::string(bytes, 8), content.substr(105, 8));
    EXPECT_FALSE(SourceReadAt(source, 195, bytes, 8)) << "five bytes left";
    EXPECT_EQ(SourceViewAt(source, 0, 1), nullptr) << "a handle has nothing in place";

    std::uint8_t buffer[16];
    std::uint32_t got = 77;
    EXPECT_EQ(SourceFetchAt(source, 20, 100, buffer, sizeof buffer, &got), buffer);
    EXPECT_EQ(got, 16u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 16), content.substr(120, 16));
    EXPECT_EQ(SourceFetchAt(source, 190, 10, buffer, sizeof buffer, &got), buffer);
    EXPECT_EQ(got, 10u);
    EXPECT_EQ(SourceFetchAt(source, 191, 10, buffer, sizeof buffer, &got), buffer);
    EXPECT_EQ(got, 9u) << "what is there";
    EXPECT_EQ(SourceFetchAt(source, 200, 10, buffer, sizeof buffer, &got), nullptr);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(SourceHasError(source), 0);
    CloseSource(source);
}

TEST_F(HandleSourceTest, SeeksAndReadsAgreeWithMemory) {
    // The same 300 bytes as a file and as a block, driven alike: every seek
    // gives the same result, every position the same bytes, also at 2 GiB and
    // past the end, where a refused system seek once left the read where the
    // handle stood.
    std::int32_t error = -7;
    ArchiveSource* file = OpenSource(name.c_str(), 0, SourceFileName, &error);
    ArchiveSource* block = OpenSource(content.data(), 300, SourceMemory, &error);
    ASSERT_NE(file, nullptr);
    ASSERT_NE(block, nullptr);
    struct Seek {
        std::int32_t offset, origin, result;
        std::uint32_t position;  // after the seek
    };
    const Seek seeks[] = {
        {30, SeekFromStart, 0, 30},
        {-31, SeekFromCurrent, SeekErrOutOfRange, 30},
        {-1, SeekFromStart, 0, 0xFFFFFFFF},
        {1, SeekFromCurrent, SeekErrOutOfRange, 0xFFFFFFFF},
        {static_cast<std::int32_t>(0x80000000u), SeekFromStart, 0, 0x80000000u},
        {-10, SeekFromEnd, 0, 290},
        {-301, SeekFromEnd, SeekErrOutOfRange, 290},
        {5, SeekFromEnd, 0, 305},
        {0, 3, SeekErrOrigin, 305},
        {-5, SeekFromCurrent, 0, 300},
    };
    for (const Seek& s : seeks) {
        SCOPED_TRACE(::testing::Message() << s.offset << " from " << s.origin);
        for (ArchiveSource* source : {file, block}) {
            EXPECT_EQ(SourceSeek(source, s.offset, s.origin), s.result);
            EXPECT_EQ(SourceTell(source), s.position);
        }
    }
    for (std::uint32_t offset : {0u, 296u, 300u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFCu}) {
        SCOPED_TRACE(offset);
        char fromFile[4] = {}, fromBlock[4] = {};
        const bool a = SourceReadAt(file, offset, fromFile, 4);
        EXPECT_EQ(a, SourceReadAt(block, offset, fromBlock, 4));
        if (a) {
            EXPECT_EQ(std::string(fromFile, 4), std::string(fromBlock, 4));
        }
        ASSERT_EQ(SourceSeek(file, static_cast<std::int32_t>(offset), SeekFromStart), 0);
        ASSERT_EQ(SourceSeek(block, static_cast<std::int32_t>(offset), SeekFromStart), 0);
        EXPECT_EQ(SourceRead(fromFile, 1, 4, file), SourceRead(fromBlock, 1, 4, block));
    }
    EXPECT_EQ(SourceHasError(file), 0);
    CloseSource(file);
    CloseSource(block);
}

TEST_F(HandleSourceTest, FailedReadMarksTheSourceForGood) {
    // A handle opened for writing only: every read through it fails.
    ScopedFile file(os::CreateFileWithAttributes((temp / "write-only.bin").string().c_str(),
                                                 os::kAttrNormal));
    ASSERT_NE(file.get(), os::kInvalidHandle);
    std::uint32_t written = 0;
    ASSERT_TRUE(os::WriteToFile(file.get(), "abcd", 4, &written));
    std::int32_t error = -7;
    ArchiveSource* source = OpenSource(HandleSource(file.get()), 0, SourceHandle, &error);
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(SourceSeek(source, 0, SeekFromStart), 0);

    std::uint32_t value = 5;
    EXPECT_EQ(SourceHasError(source), 0);
    EXPECT_EQ(ReadByte(source, &value), -1);
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(SourceHasError(source), 1);
    EXPECT_EQ(ReadUInt16(source, &value), -1);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(ReadUInt32(source, &value), -1);
    EXPECT_EQ(SourceHasError(source), 1);
    CloseSource(source);
}

}  // namespace
}  // namespace quarn
