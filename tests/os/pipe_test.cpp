// Pipes through the seam: not disk files, read through independent duplicates.
#include <gtest/gtest.h>

#include <string>

#include "os/file.h"
#include "support/pipe.h"

namespace quarn::os {
namespace {

using quarn::testing::TestPipe;

TEST(Pipe, IsNoDiskFile) {
    TestPipe p;
    EXPECT_FALSE(IsDiskFile(p.readEnd()));
    EXPECT_FALSE(IsDiskFile(p.writeEnd()));
}

TEST(Pipe, SeekDoesNotDisturbTheData) {
    TestPipe p;
    ASSERT_TRUE(p.put("abcdef"));
    SeekFile(p.readEnd(), 3, SeekBegin);  // meaningless on a pipe; the result is the system's
    char buffer[16];
    std::uint32_t done = 0;
    ASSERT_TRUE(ReadFromFile(p.readEnd(), buffer, sizeof buffer, &done));
    EXPECT_EQ(std::string(buffer, done), "abcdef");
}

TEST(Pipe, ReadDeliversWhatIsThereThroughADuplicate) {
    TestPipe p;
    ASSERT_TRUE(p.put("hello"));
    FileHandle copy = DuplicateFileHandle(p.readEnd());
    ASSERT_NE(copy, kInvalidHandle);
    p.closeRead();
    EXPECT_FALSE(IsDiskFile(copy));
    char buffer[100];
    std::uint32_t done = 0;
    // Must not wait for the other 95 bytes.
    ASSERT_TRUE(ReadFromFile(copy, buffer, sizeof buffer, &done));
    EXPECT_EQ(std::string(buffer, done), "hello");
    // With the writer gone nothing more comes: POSIX reports the end of the
    // data, Win32 a broken pipe.
    p.closeWrite();
    ReadFromFile(copy, buffer, sizeof buffer, &done);
    EXPECT_EQ(done, 0u);
    CloseFile(copy);
}

}  // namespace
}  // namespace quarn::os
