// A pipe as the caller's handle: readable, but not a disk file.
#include <gtest/gtest.h>

#include <windows.h>

#include "archive/archive.h"
#include "archive/source.h"
#include "os/file.h"

namespace quarn {
namespace {

struct Pipe {
    HANDLE read = nullptr, write = nullptr;
    Pipe() { EXPECT_TRUE(CreatePipe(&read, &write, nullptr, 0)); }
    ~Pipe() {
        if (read) CloseHandle(read);
        if (write) CloseHandle(write);
    }
    os::FileHandle readEnd() const { return reinterpret_cast<os::FileHandle>(read); }
};

TEST(PipeSource, ReadsButNeitherTellsNorSeeks) {
    Pipe p;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(p.write, "abc", 3, &written, nullptr));
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
    Pipe p;
    lastArchiveResult = 0;
    EXPECT_EQ(OpenArchive(HandleSource(p.readEnd()), 0, SourceHandle), nullptr);
    EXPECT_EQ(lastArchiveResult, ArchErrNotDiskFile);
}

}  // namespace
}  // namespace quarn
