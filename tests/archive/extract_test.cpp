#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/zip_archive.h"
#include "os/file.h"
#include "support/archive_fixtures.h"
#include "support/temp_folder.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using namespace testing;
using os::ScopedFile;
namespace fs = std::filesystem;

constexpr std::uint64_t kOneSecond = 10000000;

bool NearTicks(std::uint64_t a, std::uint64_t b, std::uint64_t tolerance = kOneSecond) {
    return (a > b ? a - b : b - a) <= tolerance;
}

bool IsReadOnly(const fs::path& p) {
    return (fs::status(p).permissions() & fs::perms::owner_write) == fs::perms::none;
}

// Each test stands in a fresh folder; the archive is opened there, so that
// folder is also the base for created folders.
struct ExtractTest : ::testing::Test {
    TempFolder temp;
    WorkingFolderGuard guard;
    void SetUp() override { fs::current_path(temp.path()); }

    std::int32_t ExtractTo(ArchiveHandle* a, std::int32_t index, const std::string& name) {
        return ExtractEntry(a, index, const_cast<char*>(name.c_str()), 0, SourceFileName);
    }
};

// Extracts one entry to memory in calls of `piece` bytes; the results of the
// calls and the bytes delivered.
struct MemoryRun {
    std::vector<std::int32_t> results;
    std::string bytes;
};

MemoryRun ExtractInPieces(ArchiveHandle* a, std::int32_t index, std::uint32_t piece,
                          std::uint32_t entrySize) {
    MemoryRun run;
    std::vector<char> buffer(piece);
    std::uint32_t left = entrySize;
    for (int guard = 0; guard < 1000; ++guard) {
        std::int32_t r = ExtractEntry(a, index, buffer.data(), piece, SourceMemory);
        run.results.push_back(r);
        if (r != ArchDataDelivered) break;
        // The size of a piece is not reported; the entry's size tells.
        std::uint32_t n = left < piece ? left : piece;
        run.bytes.append(buffer.data(), n);
        left -= n;
    }
    return run;
}

TEST_F(ExtractTest, FileWithFoldersAttributesAndTimes) {
    const std::string data = PatternBytes(50000);
    // A deflated entry two folders deep; a read-only one; one named with backslashes.
    Zip zip = ZipBuilder()
                  .deflated("sub/deep/file.bin", data)
                  .file("ro.txt", "read only").attributes(0x00000020)
                  .file("win\\style\\f.txt", "back")
                  .build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    ZipEntry entry;
    ASSERT_EQ(GetEntry(a.get(), 0, &entry), ArchOk);
    ASSERT_EQ(ExtractTo(a.get(), 0, "sub/deep/file.bin"), ArchOk);
    EXPECT_EQ(lastArchiveResult, ArchOk);
    EXPECT_EQ(ReadWholeFile(temp / "sub/deep/file.bin"), data);
    EXPECT_FALSE(IsReadOnly(temp / "sub/deep/file.bin"));
    const std::uint64_t expected = Ticks(ExpectedUtc(kSampleDosDate, kSampleDosTime));
    EXPECT_EQ(Ticks(entry.writeTime), expected);
    EXPECT_TRUE(NearTicks(LastWriteTicks(temp / "sub/deep/file.bin"), expected));

    ASSERT_EQ(ExtractTo(a.get(), 1, "ro.txt"), ArchOk);
    EXPECT_EQ(ReadWholeFile(temp / "ro.txt"), "read only");
    EXPECT_TRUE(IsReadOnly(temp / "ro.txt"));

    ASSERT_EQ(ExtractTo(a.get(), 2, "win\\style\\f.txt"), ArchOk);
    EXPECT_EQ(ReadWholeFile(temp / "win" / "style" / "f.txt"), "back");
}

TEST_F(ExtractTest, FolderPartOfTheTargetName) {
    // One stored entry in a subfolder.
    Zip zip = ZipBuilder().file("sub/x.txt", "x").build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);

    // No separator: no folders, the file lands here.
    ASSERT_EQ(ExtractTo(a.get(), 0, "flat.txt"), ArchOk);
    EXPECT_EQ(ReadWholeFile(temp / "flat.txt"), "x");
    EXPECT_FALSE(fs::exists(temp / "sub"));

    // Folder parts that climb or are absolute get no folders, so the file
    // cannot be created where they point.
    const std::string absolute = (temp / "abs" / "x.txt").string();
    for (const std::string& target : {std::string("a/../b/x.txt"), std::string("a\\..\\b\\x.txt"),
                                      absolute}) {
        SCOPED_TRACE(target);
        EXPECT_EQ(ExtractTo(a.get(), 0, target), ArchErrOpenFile);
    }
    for (const char* never : {"a", "b", "abs"}) EXPECT_FALSE(fs::exists(temp / never)) << never;

    // An absolute name into an existing folder is still written as given.
    ASSERT_EQ(ExtractTo(a.get(), 0, (temp / "abs.txt").string()), ArchOk);
    EXPECT_EQ(ReadWholeFile(temp / "abs.txt"), "x");
}

TEST_F(ExtractTest, DirectoryEntries) {
    // A directory entry, and a file entry whose name ends in a separator.
    Zip zip = ZipBuilder().folder("top/inner/").file("notdir/", "").build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);

    ASSERT_EQ(ExtractTo(a.get(), 0, "ignored.txt"), ArchOk);
    EXPECT_TRUE(fs::is_directory(temp / "top" / "inner"));
    EXPECT_FALSE(fs::exists(temp / "ignored.txt"));

    ScopedFile out(os::CreateFileWithAttributes((temp / "handle.bin").string().c_str(), os::kAttrNormal));
    ASSERT_NE(out.get(), os::kInvalidHandle);
    EXPECT_EQ(ExtractEntry(a.get(), 0, HandleTarget(out.get()), 0, SourceHandle), ArchOk);
    out.reset();
    EXPECT_EQ(fs::file_size(temp / "handle.bin"), 0u);

    // Directories are told by their attributes alone.
    EXPECT_EQ(ExtractTo(a.get(), 1, "notdir/"), ArchErrOpenFile);
    EXPECT_TRUE(fs::is_directory(temp / "notdir"));
}

TEST_F(ExtractTest, ToAnOpenHandle) {
    const std::string data = PatternBytes(40000);
    // One deflated entry of 40000 bytes.
    Zip zip = ZipBuilder().deflated("a.bin", data).build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    const fs::path path = temp / "joined.bin";
    ScopedFile out(os::CreateFileWithAttributes(path.string().c_str(), os::kAttrNormal));
    ASSERT_NE(out.get(), os::kInvalidHandle);
    std::uint32_t written = 0;
    ASSERT_TRUE(os::WriteToFile(out.get(), "HEAD", 4, &written));
    ASSERT_EQ(ExtractEntry(a.get(), 0, HandleTarget(out.get()), 0, SourceHandle), ArchOk);
    // The caller's handle stays open, after the data.
    ASSERT_TRUE(os::WriteToFile(out.get(), "TAIL", 4, &written));
    out.reset();
    EXPECT_EQ(ReadWholeFile(path), "HEAD" + data + "TAIL");

    EXPECT_EQ(ExtractEntry(a.get(), 0, HandleTarget(os::kInvalidHandle), 0, SourceHandle),
              ArchErrOpenFile);
    EXPECT_EQ(lastArchiveResult, ArchErrOpenFile);
}

TEST_F(ExtractTest, ToMemoryInOneOrMorePieces) {
    const std::string data = PatternBytes(5000);
    // A deflated entry of 5000 bytes and an empty one.
    Zip zip = ZipBuilder().deflated("a.bin", data).file("empty", "").build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    struct Case {
        std::uint32_t piece;
        std::vector<std::int32_t> results;
    };
    const Case cases[] = {
        {5000, {ArchDataDelivered, ArchOk}},
        {2048, {ArchDataDelivered, ArchDataDelivered, ArchDataDelivered, ArchOk}},
        {16384, {ArchDataDelivered, ArchOk}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.piece);
        MemoryRun run = ExtractInPieces(a.get(), 0, c.piece, 5000);
        EXPECT_EQ(run.results, c.results);
        EXPECT_EQ(run.bytes, data);
        EXPECT_EQ(a->archive->openIndex, -1);
    }
    char buffer[16];
    EXPECT_EQ(ExtractEntry(a.get(), 1, buffer, sizeof buffer, SourceMemory), ArchOk)
        << "an empty entry is complete at once";
    EXPECT_EQ(ExtractEntry(a.get(), -1, buffer, sizeof buffer, SourceMemory), ArchErrArgument)
        << "index -1 with nothing open";
    EXPECT_EQ(ExtractEntry(a.get(), 2, buffer, sizeof buffer, SourceMemory), ArchErrArgument);
}

TEST_F(ExtractTest, MemoryExtractionAcrossOtherCalls) {
    // Eight entries of 100 distinct bytes each; reading 10 bytes tells where
    // an extraction stands.
    ZipBuilder b;
    std::vector<std::string> data;
    for (int i = 0; i < 8; ++i) {
        data.push_back(PatternBytes(100, 10 + i));
        b.deflated("m" + std::to_string(i), data.back());
    }
    Zip zip = b.build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    char buffer[10];
    auto next = [&](std::int32_t index) {
        EXPECT_EQ(ExtractEntry(a.get(), index, buffer, sizeof buffer, SourceMemory), ArchDataDelivered);
        return std::string(buffer, sizeof buffer);
    };
    auto piece = [&](int entry, int n) { return data[entry].substr(10 * n, 10); };

    EXPECT_EQ(next(4), piece(4, 0));
    EXPECT_EQ(next(7), piece(7, 0));
    EXPECT_EQ(next(4), piece(4, 0)) << "entry 4 starts again";
    EXPECT_EQ(next(4), piece(4, 1));

    // An unknown kind and a failed search leave it open.
    EXPECT_EQ(ExtractEntry(a.get(), 4, buffer, sizeof buffer, 9), ArchErrArgument);
    EXPECT_EQ(FindEntry(a.get(), "nothing", true, nullptr, nullptr), ArchErrNotFound);
    EXPECT_EQ(next(4), piece(4, 2));

    // A record request, a successful search, a file extraction and an index
    // out of range each end it.
    ZipEntry entry;
    ASSERT_EQ(GetEntry(a.get(), 4, &entry), ArchOk);
    EXPECT_EQ(a->archive->openIndex, -1);
    EXPECT_EQ(next(4), piece(4, 0));
    ASSERT_EQ(FindEntry(a.get(), "M1", true, nullptr, nullptr), ArchOk);
    EXPECT_EQ(next(4), piece(4, 0));
    ASSERT_EQ(ExtractTo(a.get(), 2, "m2.bin"), ArchOk);
    EXPECT_EQ(next(4), piece(4, 0));
    EXPECT_EQ(ExtractEntry(a.get(), 8, buffer, sizeof buffer, SourceMemory), ArchErrArgument);
    EXPECT_EQ(a->archive->openIndex, -1);
    EXPECT_EQ(next(4), piece(4, 0));
    // Left open on purpose: closing the archive ends it (the sanitizer build
    // sees any leak).
}

TEST_F(ExtractTest, CrcMismatchIsReportedForEveryTarget) {
    const std::string data = PatternBytes(3000);
    // A deflated entry whose CRC-32 in both headers is wrong.
    Zip zip = MessWith(ZipBuilder().deflated("bad.bin", data).build(), corrupt::Crc(0, 0x12345678));
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);

    // The file stays, complete, with its times set.
    ASSERT_EQ(ExtractTo(a.get(), 0, "bad.bin"), ArchErrCrc);
    EXPECT_EQ(lastArchiveResult, ArchErrCrc);
    EXPECT_EQ(ReadWholeFile(temp / "bad.bin"), data);
    EXPECT_TRUE(NearTicks(LastWriteTicks(temp / "bad.bin"),
                          Ticks(ExpectedUtc(kSampleDosDate, kSampleDosTime))));

    ScopedFile out(os::CreateFileWithAttributes((temp / "h.bin").string().c_str(), os::kAttrNormal));
    ASSERT_NE(out.get(), os::kInvalidHandle);
    EXPECT_EQ(ExtractEntry(a.get(), 0, HandleTarget(out.get()), 0, SourceHandle), ArchErrCrc);
    out.reset();
    EXPECT_EQ(ReadWholeFile(temp / "h.bin"), data);

    MemoryRun run = ExtractInPieces(a.get(), 0, 2048, 3000);
    EXPECT_EQ(run.results, (std::vector<std::int32_t>{ArchDataDelivered, ArchDataDelivered, ArchErrCrc}));
    EXPECT_EQ(run.bytes, data);
}

TEST_F(ExtractTest, EntriesThatCannotDeliverTheirSize) {
    const std::string data = PatternBytes(30000);
    struct Case {
        const char* what;
        bool deflate;
        Corrupter damage;
    };
    const Case cases[] = {
        {"deflate data error", true, corrupt::DataByte(0, 0, 0xFF)},
        {"deflate stream ends early", true, corrupt::DeclaredSize(0, 40000)},
        {"stored, compressed size smaller", false, corrupt::CompressedSize(0, 20000)},
        {"data cut off by the end of the archive", false,
         [](Zip& z) {
             corrupt::CompressedSize(0, 0x00FFFFFF)(z);
             corrupt::DeclaredSize(0, 0x00FFFFFF)(z);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // 30000 bytes, stored or deflated, altered as the case says.
        Zip zip = MessWith(ZipBuilder().file("short.bin", data, c.deflate).build(), c.damage);
        ArchivePtr a = OpenMemoryArchive(zip);
        ASSERT_NE(a, nullptr);
        ZipEntry entry;
        ASSERT_EQ(GetEntry(a.get(), 0, &entry), ArchOk);

        // The file stays with what was written, and its times are not set.
        ASSERT_EQ(ExtractTo(a.get(), 0, "short.bin"), ArchErrWrite);
        EXPECT_LT(ReadWholeFile(temp / "short.bin").size(), entry.uncompressedSize);
        EXPECT_TRUE(NearTicks(LastWriteTicks(temp / "short.bin"), NowTicks(), 600 * kOneSecond));

        ScopedFile out(os::CreateFileWithAttributes((temp / "h.bin").string().c_str(), os::kAttrNormal));
        ASSERT_NE(out.get(), os::kInvalidHandle);
        EXPECT_EQ(ExtractEntry(a.get(), 0, HandleTarget(out.get()), 0, SourceHandle), ArchErrWrite);

        MemoryRun run = ExtractInPieces(a.get(), 0, 4096, entry.uncompressedSize);
        EXPECT_EQ(run.results.back(), ArchErrEntryData);
        EXPECT_EQ(a->archive->openIndex, -1);
    }
}

TEST_F(ExtractTest, RefusedRecordsCreateNothing) {
    // Entry 0's local method disagrees, entry 1's name has 260 bytes, entry 2's a NUL.
    Zip zip = MessWith(ZipBuilder()
                           .file("dir/local.txt", "l")
                           .file("long/" + std::string(255, 'n'), "n")
                           .file(std::string("nul/a.txt\0b", 11), "z")
                           .build(),
                       corrupt::LocalMethod(0, 8));
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(ExtractTo(a.get(), 0, "dir/local.txt"), ArchErrLocalHeader);
    EXPECT_EQ(ExtractTo(a.get(), 1, "long/x"), ArchErrEntryName);
    EXPECT_EQ(ExtractTo(a.get(), 2, "nul/a.txt"), ArchErrEntryName);
    EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST_F(ExtractTest, InvalidDosTimeLeavesTheSystemsTimes) {
    // Month 0: no valid date.
    Zip zip = ZipBuilder().file("t.txt", "t").dosTime(0x0001, 0x0000).build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(ExtractTo(a.get(), 0, "t.txt"), ArchOk);
    EXPECT_TRUE(NearTicks(LastWriteTicks(temp / "t.txt"), NowTicks(), 600 * kOneSecond));
}

}  // namespace
}  // namespace quarn
