// A pipe as the caller's handle: readable, but not a disk file.
#include <gtest/gtest.h>

#include <string>

#include "archive/archive.h"
#include "archive/source.h"
#include "support/pipe.h"

namespace quarn {
namespace {

using testing::TestPipe;

TEST(PipeSource, ReadsButNeitherTellsNorSeeks) {
    TestPipe p;
    ASSERT_TRUE(p.put("abc"));
    std::int32_t error = -7;
    ArchiveSource* source = OpenSource(HandleSource(p.readEnd()), 0, SourceHandle, &error);
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(source->canSeek);
    EXPECT_EQ(source->baseOffset, 0u);
    EXPECT_EQ(SourceTell(source), 0u);
    for (std::int32_t origin : {0, 1, 2, 9}) {
        SCOPED_TRACE(origin);
        EXPECT_EQ(SourceSeek(source, 0, origin), SeekErrNotSeekable);
    }
    char buffer[3] = {};
    EXPECT_EQ(SourceRead(buffer, 1, 3, source), 3u);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    CloseSource(source);
}

TEST(PipeSource, ArchiveRefusesAPipeHandle) {
    TestPipe p;
    lastArchiveResult = 0;
    EXPECT_EQ(OpenArchive(HandleSource(p.readEnd()), 0, SourceHandle), nullptr);
    EXPECT_EQ(lastArchiveResult, ArchErrNotDiskFile);
}

}  // namespace
}  // namespace quarn
