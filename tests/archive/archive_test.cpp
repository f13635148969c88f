#include "archive/archive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "archive/zip_archive.h"
#include "os/folder.h"
#include "support/archive_fixtures.h"
#include "support/temp_folder.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using namespace testing;
using os::ScopedFile;

// Entries e0 .. e(n-1), each holding its own name.
Zip Numbered(int n) {
    ZipBuilder b;
    for (int i = 0; i < n; ++i) b.file("e" + std::to_string(i), "data of e" + std::to_string(i));
    return b.build();
}

void ExpectSameRecord(const ZipEntry& a, const ZipEntry& b) {
    EXPECT_EQ(a.index, b.index);
    EXPECT_STREQ(a.name, b.name);
    EXPECT_EQ(a.attributes, b.attributes);
    EXPECT_EQ(a.accessTime, b.accessTime);
    EXPECT_EQ(a.creationTime, b.creationTime);
    EXPECT_EQ(a.writeTime, b.writeTime);
    EXPECT_EQ(a.compressedSize, b.compressedSize);
    EXPECT_EQ(a.uncompressedSize, b.uncompressedSize);
}

ZipEntry Scribbled() {
    ZipEntry e;
    e.index = 1234;
    std::memset(e.name, 'q', sizeof e.name);
    e.attributes = 0xEEEE;
    e.writeTime = {1, 2};
    e.compressedSize = e.uncompressedSize = 99;
    return e;
}

TEST(OpenArchive, FailuresReportOnlyInLastArchiveResult) {
    TempFolder temp;
    // Two numbered entries; a copy whose end record counts 2 here and 3 in total.
    Zip good = Numbered(2);
    Zip bad = MessWith(good, corrupt::EndCounts(2, 3));
    const std::string zeros(100, '\0');
    const std::string missing = (temp / "missing.zip").string();
    struct Case {
        const char* what;
        const void* source;
        std::uint32_t length;
        std::int32_t kind;
        std::int32_t result;
    };
    const Case cases[] = {
        {"kind 0", good.data(), good.size(), 0, ArchErrArgument},
        {"kind 4", good.data(), good.size(), 4, ArchErrArgument},
        {"missing file", missing.c_str(), 0, SourceFileName, ArchErrOpenFile},
        {"invalid handle", HandleSource(os::kInvalidHandle), 0, SourceHandle, ArchErrNotDiskFile},
        {"no end record", zeros.data(), 100, SourceMemory, ErrIo},
        {"entry counts differ", bad.data(), bad.size(), SourceMemory, ErrBadArchive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        lastArchiveResult = 12345;
        EXPECT_EQ(OpenArchive(c.source, c.length, c.kind), nullptr);
        EXPECT_EQ(lastArchiveResult, c.result);
    }
}

TEST(OpenArchive, FileNameAndHandleSources) {
    TempFolder temp;
    // Three numbered entries written to a file.
    Zip zip = Numbered(3);
    const auto path = temp / "three.zip";
    WriteWholeFile(path, zip.bytes);
    ZipEntry entry;

    ArchivePtr byName(OpenArchive(path.string().c_str(), 0, SourceFileName));
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(lastArchiveResult, ArchOk);
    ASSERT_EQ(GetEntry(byName.get(), 2, &entry), ArchOk);
    EXPECT_STREQ(entry.name, "e2");

    ScopedFile file(os::OpenForReading(path.string().c_str()));
    ASSERT_NE(file.get(), os::kInvalidHandle);
    ArchivePtr byHandle(OpenArchive(HandleSource(file.get()), 0, SourceHandle));
    ASSERT_NE(byHandle, nullptr);
    char buffer[16] = {};
    ASSERT_EQ(ExtractEntry(byHandle.get(), 1, buffer, sizeof buffer, SourceMemory), ArchDataDelivered);
    EXPECT_STREQ(buffer, "data of e1");
    byHandle.reset();
    // The caller's handle is its own again, still open.
    ASSERT_EQ(os::SeekFile(file.get(), 0, os::SeekBegin), 0u);
    std::uint32_t done = 0;
    EXPECT_TRUE(os::ReadFromFile(file.get(), buffer, 4, &done));
    EXPECT_EQ(done, 4u);
}

TEST(GetEntry, CountAndIndexRange) {
    // Fifteen numbered entries.
    Zip zip = Numbered(15);
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    ZipEntry entry = Scribbled();
    ASSERT_EQ(GetEntry(a.get(), -1, &entry), ArchOk);
    EXPECT_EQ(entry.index, 15);
    EXPECT_EQ(entry.name[0], '\0');
    EXPECT_EQ(entry.attributes, 0u);
    EXPECT_EQ(entry.writeTime, os::FileTime{});
    EXPECT_EQ(entry.compressedSize, 0u);
    EXPECT_EQ(entry.uncompressedSize, 0u);

    // A memory extraction in progress survives a refused index.
    char buffer[4];
    ASSERT_EQ(ExtractEntry(a.get(), 5, buffer, sizeof buffer, SourceMemory), ArchDataDelivered);
    for (std::int32_t index : {-2, 15, 1000}) {
        SCOPED_TRACE(index);
        entry = Scribbled();
        EXPECT_EQ(GetEntry(a.get(), index, &entry), ArchErrArgument);
        EXPECT_EQ(lastArchiveResult, ArchErrArgument);
        EXPECT_EQ(entry.index, 1234);
        EXPECT_EQ(a->archive->openIndex, 5);
    }
    ASSERT_EQ(ExtractEntry(a.get(), 5, buffer, sizeof buffer, SourceMemory), ArchDataDelivered);
    EXPECT_EQ(std::string(buffer, 4), " of ") << "continued where it stopped";
}

TEST(GetEntry, EmptyArchiveHasNoEntries) {
    // An empty archive behind other data.
    Zip zip = ZipBuilder().prefix("stub").build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    ZipEntry entry;
    ASSERT_EQ(GetEntry(a.get(), -1, &entry), ArchOk);
    EXPECT_EQ(entry.index, 0);
    EXPECT_EQ(GetEntry(a.get(), 0, &entry), ArchErrArgument);
}

TEST(GetEntry, RepeatsComeFromTheCacheAndBackwardsRestarts) {
    // Ten numbered entries.
    Zip zip = Numbered(10);
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    ZipDirectory* d = a->archive->directory;
    ZipEntry first, second;
    ASSERT_EQ(GetEntry(a.get(), 7, &first), ArchOk);
    EXPECT_EQ(first.index, 7);
    EXPECT_STREQ(first.name, "e7");
    EXPECT_EQ(first.uncompressedSize, 10u);

    // Nothing is read for a repeat: the source stays where it was put.
    ASSERT_EQ(SourceSeek(d->source, 3, SeekFromStart), 0);
    ASSERT_EQ(GetEntry(a.get(), 7, &second), ArchOk);
    EXPECT_EQ(SourceTell(d->source), 3u);
    ExpectSameRecord(first, second);

    ASSERT_EQ(GetEntry(a.get(), 3, &second), ArchOk);
    EXPECT_STREQ(second.name, "e3");
    EXPECT_EQ(d->currentIndex, 3u);
    ASSERT_EQ(GetEntry(a.get(), 9, &second), ArchOk);
    EXPECT_STREQ(second.name, "e9");
}

TEST(GetEntry, AttributesFromExternalAttributes) {
    struct Case {
        std::uint32_t external;
        std::uint32_t attributes;
    };
    const Case cases[] = {
        {0x81800020, 0xA0},  // 0100600 and archive
        {0x00000020, 0xA1},  // no Unix half: read-only
        {0x41ED0010, 0x90},  // 040755 and the MS-DOS directory bit
        {0x41ED0000, 0x90},  // Unix directory alone
        {0x00000010, 0x91},  // MS-DOS directory alone, no owner-write
        {0x81A40000, 0x80},
        {0x81A40001, 0x81},  // MS-DOS read-only beats owner-write
        {0x81240000, 0x81},  // 0100444
        {0x81A40002, 0x82},
        {0x81A40004, 0x84},
        {0x81A40027, 0xA7},
    };
    ZipBuilder b;
    for (const auto& c : cases) b.file("f" + std::to_string(c.external), "x").attributes(c.external);
    // One entry per case, with that case's external attributes.
    Zip zip = b.build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(std::size(cases)); ++i) {
        SCOPED_TRACE(cases[i].external);
        ZipEntry entry;
        ASSERT_EQ(GetEntry(a.get(), i, &entry), ArchOk);
        EXPECT_EQ(entry.attributes, cases[i].attributes);
    }
}

TEST(GetEntry, TimesAreTheDosTimeInUtc) {
    // Entry 0 at 2004-07-15 13:45:30, entry 1 at 1980-01-01 00:00, entry 2 with
    // month 0 (no valid date), entry 3 with hour 31.
    Zip zip = ZipBuilder()
                  .file("a", "")
                  .file("b", "").dosTime(0x0021, 0x0000)
                  .file("c", "").dosTime(0x0001, 0x0000)
                  .file("d", "").dosTime(0x30EF, 0xFC00)
                  .build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    ZipEntry entry;
    ASSERT_EQ(GetEntry(a.get(), 0, &entry), ArchOk);
    const os::FileTime expected = ExpectedUtc(kSampleDosDate, kSampleDosTime);
    EXPECT_NE(expected, os::FileTime{});
    EXPECT_EQ(entry.writeTime, expected);
    EXPECT_EQ(entry.accessTime, expected);
    EXPECT_EQ(entry.creationTime, expected);

    ASSERT_EQ(GetEntry(a.get(), 1, &entry), ArchOk);
    EXPECT_EQ(entry.writeTime, ExpectedUtc(0x0021, 0));
    for (std::int32_t i : {2, 3}) {
        SCOPED_TRACE(i);
        ASSERT_EQ(GetEntry(a.get(), i, &entry), ArchOk);
        EXPECT_EQ(entry.writeTime, os::FileTime{});
        EXPECT_EQ(entry.accessTime, os::FileTime{});
        EXPECT_EQ(entry.creationTime, os::FileTime{});
    }
}

TEST(GetEntry, NamesThatDoNotFitOrHoldNul) {
    const std::string n259(259, 'n'), n260(260, 'm');
    Zip zip = ZipBuilder()
                  .file(n259, "ok")
                  .file(n260, "long")
                  .file(std::string("a.txt\0.exe", 10), "nul")
                  .file("after", "fine")
                  .build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    ZipEntry entry;
    ASSERT_EQ(GetEntry(a.get(), 0, &entry), ArchOk);
    EXPECT_EQ(std::string(entry.name), n259);
    for (std::int32_t i : {1, 2}) {
        SCOPED_TRACE(i);
        entry = Scribbled();
        EXPECT_EQ(GetEntry(a.get(), i, &entry), ArchErrEntryName);
        EXPECT_EQ(entry.index, 1234) << "nothing written";
    }
    ASSERT_EQ(GetEntry(a.get(), 3, &entry), ArchOk);
    EXPECT_STREQ(entry.name, "after");
}

TEST(GetEntry, LocalHeaderFailures) {
    // Entry 1's local method disagrees; entry 2's local extra field runs past the block.
    Zip zip = MessWith(MessWith(Numbered(3), corrupt::LocalMethod(1, 8)),
                       corrupt::LocalExtraLength(2, 0xFFFF));
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    ZipEntry entry = Scribbled();
    EXPECT_EQ(GetEntry(a.get(), 1, &entry), ArchErrLocalHeader);
    EXPECT_EQ(entry.index, 1234);
    EXPECT_EQ(GetEntry(a.get(), 2, &entry), ArchErrLocalExtra);
    EXPECT_EQ(entry.index, 1234);
    EXPECT_EQ(GetEntry(a.get(), 0, &entry), ArchOk);
}

TEST(GetEntry, WalkBlockedByABrokenCentralHeader) {
    // Entry 2's central signature is wrong: 2 and everything after it are out of reach.
    Zip zip = MessWith(Numbered(5), corrupt::CentralSignature(2));
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    ZipEntry entry;
    EXPECT_EQ(GetEntry(a.get(), 3, &entry), ArchErrCentralHeader);
    EXPECT_EQ(GetEntry(a.get(), 2, &entry), ArchErrCentralHeader);
    EXPECT_EQ(GetEntry(a.get(), 4, &entry), ArchErrCentralHeader);
    ASSERT_EQ(GetEntry(a.get(), 1, &entry), ArchOk);
    EXPECT_STREQ(entry.name, "e1");
    EXPECT_EQ(ExtractEntry(a.get(), 3, &entry, 0, SourceHandle), ArchErrCentralHeader);
    EXPECT_EQ(FindEntry(a.get(), "e4", false, nullptr, nullptr), ArchErrNotFound);
}

TEST(FindEntry, CaseAndOutputs) {
    // hub.ini stored in lower case, as the last of three entries.
    Zip zip = ZipBuilder().file("readme.txt", "r").file("config/x", "x").file("hub.ini", "[hub]").build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    std::int32_t index = 77;
    ZipEntry entry = Scribbled();
    ASSERT_EQ(FindEntry(a.get(), "HUB.INI", true, &index, &entry), ArchOk);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(entry.index, 2);
    EXPECT_STREQ(entry.name, "hub.ini");
    EXPECT_EQ(entry.uncompressedSize, 5u);

    const std::string tooLong(256, 'h');
    for (const char* wanted : {"HUB.INI", "hub", tooLong.c_str()}) {
        SCOPED_TRACE(wanted);
        index = 77;
        entry = Scribbled();
        EXPECT_EQ(FindEntry(a.get(), wanted, false, &index, &entry), ArchErrNotFound);
        EXPECT_EQ(lastArchiveResult, ArchErrNotFound);
        EXPECT_EQ(index, -1);
        EXPECT_EQ(entry.index, -1);
        EXPECT_EQ(entry.name[0], '\0');
        EXPECT_EQ(entry.uncompressedSize, 0u);
    }
    EXPECT_EQ(FindEntry(a.get(), "config/x", false, nullptr, nullptr), ArchOk);
}

TEST(ArchiveHandleChecks, MissingOrForeignHandle) {
    // Two numbered entries.
    Zip zip = Numbered(2);
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    ArchiveHandle foreign{2, a->archive};  // right object, wrong tag
    for (auto [handle, code] : {std::pair{static_cast<ArchiveHandle*>(nullptr), ArchErrArgument},
                                std::pair{&foreign, ArchErrHandleKind}}) {
        SCOPED_TRACE(code);
        ZipEntry entry;
        char buffer[8];
        lastArchiveResult = 1;
        EXPECT_EQ(GetEntry(handle, 0, &entry), code);
        EXPECT_EQ(lastArchiveResult, code);
        lastArchiveResult = 1;
        EXPECT_EQ(FindEntry(handle, "e0", false, nullptr, nullptr), code);
        EXPECT_EQ(lastArchiveResult, code);
        lastArchiveResult = 1;
        EXPECT_EQ(ExtractEntry(handle, 0, buffer, sizeof buffer, SourceMemory), code);
        EXPECT_EQ(lastArchiveResult, code);
        lastArchiveResult = 1;
        EXPECT_EQ(CloseArchive(handle), code);
        EXPECT_EQ(lastArchiveResult, code);
    }
    // The real handle is untouched by all of that.
    ZipEntry entry;
    EXPECT_EQ(GetEntry(a.get(), 1, &entry), ArchOk);
    EXPECT_EQ(lastArchiveResult, ArchOk);
    EXPECT_EQ(CloseArchive(a.release()), ArchOk);
    EXPECT_EQ(lastArchiveResult, ArchOk);
}

TEST(OpenArchive, FolderBaseIsTheWorkingDirectory) {
    TempFolder temp;
    WorkingFolderGuard guard;
    std::filesystem::current_path(temp.path());
    char current[kMaxPath];
    ASSERT_TRUE(os::GetCurrentFolder(current, sizeof current));
    // One numbered entry.
    Zip zip = Numbered(1);
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::string(a->archive->folderBase), std::string(current) + "\\");
}

// A folder under base whose path is exactly `length` characters long.
std::filesystem::path FolderOfLength(const std::filesystem::path& base, std::size_t length) {
    std::filesystem::path p = base;
    while (p.string().size() + 1 + 40 + 2 < length) p /= std::string(40, 'd');
    return p / std::string(length - p.string().size() - 1, 'e');
}

TEST(OpenArchive, WorkingDirectoryLongerThanTheFolderBase) {
    // The base holds the working directory, a separator and a NUL in 260 bytes.
    TempFolder temp;
    WorkingFolderGuard guard;
    // One numbered entry.
    Zip zip = Numbered(1);
    for (std::size_t length : {kMaxPath - 2, kMaxPath - 1, kMaxPath + 30}) {
        SCOPED_TRACE(length);
        std::filesystem::path deep = FolderOfLength(temp.path(), length);
        ASSERT_EQ(deep.string().size(), length);
        std::error_code error;
        std::filesystem::create_directories(deep, error);
        std::filesystem::current_path(deep, error);
        char current[kMaxPath + 100];
        if (error || !os::GetCurrentFolder(current, sizeof current) || std::strlen(current) != length) {
            std::filesystem::current_path(temp.path());
            continue;  // this system cannot stand in a folder that deep
        }
        ArchivePtr a = OpenMemoryArchive(zip);
        if (length <= kMaxPath - 2) {
            ASSERT_NE(a, nullptr);
            EXPECT_EQ(std::strlen(a->archive->folderBase), length + 1);
        } else {
            EXPECT_EQ(a, nullptr);
            EXPECT_EQ(lastArchiveResult, ArchErrFolderTooLong);
        }
        std::filesystem::current_path(temp.path());
    }
}

}  // namespace
}  // namespace quarn
