#include "archive/directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archive/archive.h"
#include "support/archive_fixtures.h"
#include "support/temp_folder.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using namespace testing;
using os::ScopedFile;

Zip ThreeEntries() {
    // Three stored entries, nothing in front, no comment.
    return ZipBuilder().file("one.txt", "1").file("two.txt", "22").file("three.txt", "333").build();
}

std::string NameOfCurrent(ZipDirectory* d) {
    char name[256] = {};
    EXPECT_EQ(GetCurrentEntryInfo(d, nullptr, name, sizeof name, nullptr, 0, nullptr, 0), 0);
    return name;
}

TEST(EndRecordSearch, FindsTheRecordBehindCommentsOfManyLengths) {
    // Comment lengths around the 1024-byte steps of the search: at 1007..1009
    // the signature straddles the boundary of the first block.
    for (std::size_t length : {0u, 1u, 1002u, 1005u, 1006u, 1007u, 1008u, 1009u, 1010u, 2031u,
                               2032u, 2033u, 65513u}) {
        SCOPED_TRACE(length);
        // One stored entry and an archive comment of that length.
        Zip zip = ZipBuilder().file("a.txt", "alpha").comment(std::string(length, 'c')).build();
        ArchiveSource* source = MemorySource(zip);
        EXPECT_EQ(FindEndRecord(source), zip.endRecord);
        DirectoryPtr d(OpenDirectory(source));
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->entryCount, 1u);
        EXPECT_EQ(d->archiveCommentLength, length);
        EXPECT_EQ(d->endRecordPos, zip.endRecord);
        EXPECT_TRUE(d->currentValid);
    }
}

TEST(EndRecordSearch, CommentTooLongHidesTheRecord) {
    // A comment of 65514 bytes puts the signature 65536 bytes from the end.
    Zip zip = ZipBuilder().file("a.txt", "alpha").comment(std::string(65514, 'c')).build();
    ArchiveSource* source = MemorySource(zip);
    EXPECT_EQ(FindEndRecord(source), 0u);
    EXPECT_EQ(OpenDirectory(source), nullptr);
    // The 22 bytes read at position 0 are a local header: a disk number of 20.
    EXPECT_EQ(lastOpenError, ErrBadArchive);
}

TEST(EndRecordSearch, SignatureInTheCommentWins) {
    // The comment holds the end signature followed by text.
    std::string comment = std::string("see PK\x05\x06", 8) + " there";
    Zip zip = ZipBuilder().file("a.txt", "alpha").comment(comment).build();
    ArchiveSource* source = MemorySource(zip);
    EXPECT_EQ(FindEndRecord(source), zip.endRecord + 22 + 4);
    EXPECT_EQ(OpenDirectory(source), nullptr);
    EXPECT_EQ(lastOpenError, ErrBadArchive) << "the text reads as disk numbers";
}

TEST(OpenDirectory, ArchiveAfterOtherData) {
    // 1000 bytes of other data in front of a two-entry archive.
    Zip zip = ZipBuilder().prefix(PatternBytes(1000)).file("a.txt", "alpha").file("b.txt", "beta").build();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(lastOpenError, 0);
    EXPECT_EQ(d->bytesBefore, 1000u);
    EXPECT_EQ(d->directoryOffset, zip.centralStart - 1000);
    EXPECT_EQ(d->currentIndex, 0u);
    EXPECT_EQ(d->currentLocalOffset, 0u);
    EXPECT_EQ(NameOfCurrent(d.get()), "a.txt");
    std::uint32_t varSize = 0, extraOffset = 0, extraLength = 0;
    EXPECT_EQ(CheckLocalHeader(d.get(), &varSize, &extraOffset, &extraLength), 0);
    ASSERT_EQ(GoToNextEntry(d.get()), 0);
    EXPECT_EQ(d->currentLocalOffset, zip.entries[1].local - 1000);
    EXPECT_EQ(CheckLocalHeader(d.get(), &varSize, &extraOffset, &extraLength), 0);
    EXPECT_EQ(NameOfCurrent(d.get()), "b.txt");
}

TEST(OpenDirectory, HandleSourcePositionedInFrontOfTheArchive) {
    // A file of 500 bytes of other data and then the archive; the caller's
    // handle stands at 500.
    TempFolder temp;
    // A stored and a deflated entry, written behind the other data below.
    Zip zip = ZipBuilder().file("a.txt", "alpha").deflated("b.txt", std::string(3000, 'b')).build();
    auto path = temp / "joined.bin";
    WriteWholeFile(path, PatternBytes(500) + zip.bytes);
    ScopedFile file(os::OpenForReading(path.string().c_str()));
    ASSERT_NE(file.get(), os::kInvalidHandle);
    ASSERT_EQ(os::SeekFile(file.get(), 500, os::SeekBegin), 500u);
    std::int32_t error = -7;
    ArchiveSource* source = OpenSource(HandleSource(file.get()), 0, SourceHandle, &error);
    ASSERT_NE(source, nullptr);
    DirectoryPtr d(OpenDirectory(source));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->bytesBefore, 500u);
    EXPECT_EQ(d->source->baseOffset, 0u);
    ASSERT_EQ(GoToNextEntry(d.get()), 0);
    EXPECT_EQ(NameOfCurrent(d.get()), "b.txt");
    std::uint32_t varSize = 0, extraOffset = 0, extraLength = 0;
    EXPECT_EQ(CheckLocalHeader(d.get(), &varSize, &extraOffset, &extraLength), 0);
}

TEST(OpenDirectory, EmptyArchives) {
    // Nothing but an end record: it sits at position 0 and counts as absent.
    Zip bare = ZipBuilder().build();
    ASSERT_EQ(bare.size(), 22u);
    EXPECT_EQ(OpenMemoryDirectory(bare), nullptr);
    EXPECT_EQ(lastOpenError, ErrIo);

    // The same with data in front of it opens, with no current entry.
    Zip prefixed = ZipBuilder().prefix("stub").build();
    DirectoryPtr d = OpenMemoryDirectory(prefixed);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->entryCount, 0u);
    EXPECT_FALSE(d->currentValid);
    EXPECT_EQ(GoToNextEntry(d.get()), ErrEndOfList);
    EXPECT_EQ(LocateEntry(d.get(), "a.txt", NameIgnoreCase), ErrEndOfList);
}

TEST(OpenDirectory, SourcesWithoutAnEndRecord) {
    struct Case {
        const char* what;
        std::string bytes;
        std::int32_t error;
    };
    Zip zip = ThreeEntries();
    const Case cases[] = {
        {"zeros", std::string(100, '\0'), ErrIo},
        {"only a signature", std::string("PK\x05\x06", 4), ErrIo},
        // The local header at 0 is then read as an end record.
        {"end record cut off", MessWith(zip, corrupt::Truncate(zip.endRecord)).bytes, ErrBadArchive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::int32_t error = 0;
        ArchiveSource* source = OpenSource(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()),
                                           SourceMemory, &error);
        EXPECT_EQ(OpenDirectory(source), nullptr);
        EXPECT_EQ(lastOpenError, c.error);
    }
    EXPECT_EQ(OpenDirectory(nullptr), nullptr);
    EXPECT_EQ(lastOpenError, ArchErrArgument);
    EXPECT_EQ(CloseDirectory(nullptr), ErrParam);
}

TEST(OpenDirectory, InconsistentEndRecords) {
    Zip zip = ThreeEntries();
    struct Case {
        const char* what;
        Corrupter damage;
    };
    const Case cases[] = {
        {"disks 1 and 1", corrupt::EndDisks(1, 1)},
        {"this disk 1", corrupt::EndDisks(1, 0)},
        {"directory disk 1", corrupt::EndDisks(0, 1)},
        {"counts 3 and 4", corrupt::EndCounts(3, 4)},
        {"directory beyond the end record", corrupt::EndDirectoryOffset(zip.centralStart + 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Zip bad = MessWith(zip, c.damage);
        EXPECT_EQ(OpenMemoryDirectory(bad), nullptr);
        EXPECT_EQ(lastOpenError, ErrBadArchive);
    }
}

TEST(DirectoryWalk, StopsAtTheLastEntry) {
    Zip zip = ThreeEntries();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(GoToNextEntry(d.get()), 0);
    EXPECT_EQ(GoToNextEntry(d.get()), 0);
    EXPECT_EQ(NameOfCurrent(d.get()), "three.txt");
    EXPECT_EQ(GoToNextEntry(d.get()), ErrEndOfList);
    EXPECT_EQ(d->currentIndex, 2u);
    EXPECT_TRUE(d->currentValid);
    EXPECT_EQ(d->currentInfo.uncompressedSize, 3u);
    EXPECT_EQ(GoToFirstEntry(d.get()), 0);
    EXPECT_EQ(d->currentIndex, 0u);
    EXPECT_EQ(GoToNextEntry(nullptr), ErrParam);
    EXPECT_EQ(GoToFirstEntry(nullptr), ErrParam);
}

TEST(DirectoryWalk, BrokenCentralHeaderEndsTheWalk) {
    // Entry 1's central signature is wrong.
    Zip zip = MessWith(ThreeEntries(), corrupt::CentralSignature(1));
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(GoToNextEntry(d.get()), ErrBadArchive);
    EXPECT_EQ(d->currentIndex, 1u);
    EXPECT_FALSE(d->currentValid);
    EXPECT_EQ(d->currentInfo.uncompressedSize, 1u) << "entry 0's fields are kept";
    EXPECT_EQ(GoToNextEntry(d.get()), ErrEndOfList);
    EXPECT_EQ(d->currentIndex, 1u);
    EXPECT_EQ(LocateEntry(d.get(), "one.txt", NameCaseSensitive), ErrEndOfList);
    EXPECT_EQ(GoToFirstEntry(d.get()), 0);
    EXPECT_TRUE(d->currentValid);
}

TEST(DirectoryWalk, FirstCentralHeaderBrokenStillOpens) {
    // Entry 0's central signature is wrong.
    Zip zip = MessWith(ThreeEntries(), corrupt::CentralSignature(0));
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->currentValid);
    EXPECT_EQ(GoToNextEntry(d.get()), ErrEndOfList);
}

TEST(CentralHeader, FieldsAndVariablePart) {
    // One deflated entry with a central extra field and a comment.
    const std::string data(2000, 'z');
    Zip zip = ZipBuilder()
                  .deflated("data/file.bin", data)
                  .attributes(0x81800021)
                  .centralExtra("EXTRA")
                  .entryComment("note")
                  .build();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);

    EntryInfo info{};
    char extra[16];
    std::memset(extra, '#', sizeof extra);
    char comment[16];
    std::memset(comment, '#', sizeof comment);
    // No name buffer: the name must be skipped on the way to the extra field.
    ASSERT_EQ(GetCurrentEntryInfo(d.get(), &info, nullptr, 0, extra, sizeof extra, comment,
                                  sizeof comment), 0);
    EXPECT_EQ(std::string(extra, 6), "EXTRA#") << "the extra field gets no NUL";
    EXPECT_STREQ(comment, "note");
    EXPECT_EQ(info.method, 8u);
    EXPECT_EQ(info.crc, Crc32(data));
    EXPECT_EQ(info.compressedSize, zip.entries[0].dataSize);
    EXPECT_EQ(info.uncompressedSize, 2000u);
    EXPECT_EQ(info.nameLength, 13u);
    EXPECT_EQ(info.extraLength, 5u);
    EXPECT_EQ(info.commentLength, 4u);
    EXPECT_EQ(info.externalAttributes, 0x81800021u);
    EXPECT_EQ(info.dosDateTime, (std::uint32_t{kSampleDosDate} << 16) | kSampleDosTime);
    EXPECT_EQ(info.dateParts.year, 2004);
    EXPECT_EQ(info.dateParts.second, 30);
}

TEST(CentralHeader, NameBufferSmallerOrLargerThanTheName) {
    // Two empty entries with names of 12 and 9 bytes.
    Zip zip = ZipBuilder().file("twelve_chars", "").file("nine_char", "").build();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    char name[11];
    std::memset(name, '#', sizeof name);
    ASSERT_EQ(GetCurrentEntryInfo(d.get(), nullptr, name, 10, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(std::string(name, 11), "twelve_cha#") << "first 10 bytes, no NUL";

    ASSERT_EQ(GoToNextEntry(d.get()), 0);
    std::memset(name, '#', sizeof name);
    ASSERT_EQ(GetCurrentEntryInfo(d.get(), nullptr, name, 10, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(std::string(name, 11), std::string("nine_char\0#", 11));
}

TEST(LocateEntry, CaseModes) {
    // Upper-case ASCII, an e-acute in a name flagged as UTF-8, and a plain
    // name.
    Zip zip = ZipBuilder()
                  .file("README.TXT", "r")
                  .file("caf\xC3\xA9.txt", "c").utf8Name()
                  .file("b.txt", "b")
                  .build();
    struct Case {
        const char* wanted;
        std::int32_t mode;
        std::int32_t result;
        std::uint32_t index;
    };
    const Case cases[] = {
        {"readme.txt", NameIgnoreCase, 0, 0},
        {"readme.txt", NameCaseSensitive, ErrEndOfList, 0},
        {"README.TXT", NameCaseSensitive, 0, 0},
        {"ReadMe.Txt", 7, 0, 0},  // any mode but 1 folds case
        {"CAF\xC3\xA9.TXT", NameIgnoreCase, 0, 1},
        {"caf\xC3\x89.txt", NameIgnoreCase, ErrEndOfList, 0},  // no folding outside ASCII
        {"b.txt", NameCaseSensitive, 0, 2},
        {"b.tx", NameIgnoreCase, ErrEndOfList, 0},
        {"b.txtx", NameIgnoreCase, ErrEndOfList, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.wanted) + " mode " + std::to_string(c.mode));
        DirectoryPtr d = OpenMemoryDirectory(zip);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(LocateEntry(d.get(), c.wanted, c.mode), c.result);
        EXPECT_EQ(d->currentIndex, c.index);
        EXPECT_TRUE(d->currentValid);
    }
}

TEST(LocateEntry, FailedSearchKeepsTheCurrentEntry) {
    Zip zip = ThreeEntries();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(GoToNextEntry(d.get()), 0);
    EXPECT_EQ(LocateEntry(d.get(), "four.txt", NameIgnoreCase), ErrEndOfList);
    EXPECT_EQ(d->currentIndex, 1u);
    EXPECT_EQ(d->currentInfo.uncompressedSize, 2u);
    ASSERT_EQ(GoToNextEntry(d.get()), 0);
    EXPECT_EQ(NameOfCurrent(d.get()), "three.txt");
}

TEST(LocateEntry, NameLengthLimits) {
    const std::string n255(255, 'n'), n256(256, 'm');
    // Names of 5, 255 and 256 bytes.
    Zip zip = ZipBuilder().file("first", "").file(n255, "").file(n256, "").build();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(LocateEntry(d.get(), n255.c_str(), NameCaseSensitive), 0);
    EXPECT_EQ(d->currentIndex, 1u);
    EXPECT_EQ(LocateEntry(d.get(), n256.c_str(), NameCaseSensitive), ErrParam);
    EXPECT_EQ(d->currentIndex, 1u);
    // A stored name of 256 bytes never matches, not even its first 255 bytes.
    EXPECT_EQ(LocateEntry(d.get(), n256.substr(0, 255).c_str(), NameCaseSensitive), ErrEndOfList);
    EXPECT_EQ(LocateEntry(nullptr, "x", NameCaseSensitive), ErrParam);
}

TEST(CompareNames, OrderAndFolding) {
    struct Case {
        const char* stored;
        const char* wanted;
        std::int32_t mode;
        std::int32_t result;
    };
    const Case cases[] = {
        {"abc", "abc", NameCaseSensitive, 0},   {"abc", "ABC", NameCaseSensitive, 1},
        {"abc", "ABC", NameIgnoreCase, 0},      {"a", "b", NameCaseSensitive, -1},
        {"", "a", NameIgnoreCase, -1},          {"a", "", NameIgnoreCase, 1},
        {"ab", "a", NameCaseSensitive, 1},      {"a[", "A{", NameIgnoreCase, -1},
        // Unsigned with case, signed without: 0xE9 sorts above 'a', then below.
        {"\xE9", "a", NameCaseSensitive, 1},    {"\xE9", "a", NameIgnoreCase, -1},
        {"\xE9", "\xC9", NameIgnoreCase, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " / " + c.wanted + " mode " + std::to_string(c.mode));
        EXPECT_EQ(CompareNames(c.stored, c.wanted, c.mode), c.result);
    }
}

TEST(CheckLocalHeader, AgreementWithTheCentralHeader) {
    // A stored entry, and a deflated one with a data descriptor (zeros in its local header).
    const Zip plain = ZipBuilder().file("a.txt", "alpha").build();
    const Zip described = ZipBuilder().deflated("d.txt", std::string(500, 'd')).dataDescriptor().build();
    struct Case {
        const char* what;
        Zip zip;
        Corrupter damage;
        std::int32_t result;
    };
    const auto none = [](Zip&) {};
    const Case cases[] = {
        {"plain", plain, none, 0},
        {"data descriptor with zeros", described, none, 0},
        {"zeros without bit 3", described, corrupt::LocalFlags(0, 0), ErrBadArchive},
        {"bit 3 and a wrong CRC", described, corrupt::LocalCrc(0, 0x1234), 0},
        {"local signature", plain, corrupt::LocalSignature(0), ErrBadArchive},
        {"local method", plain, corrupt::LocalMethod(0, 8), ErrBadArchive},
        {"central method 12 on both", plain, corrupt::Method(0, 12), ErrBadArchive},
        {"local CRC", plain, corrupt::LocalCrc(0, 0x1234), ErrBadArchive},
        {"local compressed size", plain, corrupt::LocalCompressedSize(0, 4), ErrBadArchive},
        {"local uncompressed size", plain, corrupt::LocalUncompressedSize(0, 6), ErrBadArchive},
        {"local name length", plain, corrupt::LocalNameLength(0, 4), ErrBadArchive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Zip zip = MessWith(c.zip, c.damage);
        DirectoryPtr d = OpenMemoryDirectory(zip);
        ASSERT_NE(d, nullptr);
        std::uint32_t varSize = 7, extraOffset = 7, extraLength = 7;
        EXPECT_EQ(CheckLocalHeader(d.get(), &varSize, &extraOffset, &extraLength), c.result);
    }
}

TEST(CheckLocalHeader, LocalExtraFieldLongerThanTheCentralOne) {
    // 100 bytes of other data; entry 1 has a 12-byte local and a 4-byte central extra field.
    Zip zip = ZipBuilder()
                  .prefix(std::string(100, 'p'))
                  .file("first", "1")
                  .file("x.bin", "xyz")
                  .localExtra(std::string(12, 'L'))
                  .centralExtra("CCCC")
                  .build();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(GoToNextEntry(d.get()), 0);
    std::uint32_t varSize = 0, extraOffset = 0, extraLength = 0;
    ASSERT_EQ(CheckLocalHeader(d.get(), &varSize, &extraOffset, &extraLength), 0);
    EXPECT_EQ(varSize, 5u + 12u);
    EXPECT_EQ(extraOffset, zip.entries[1].local - 100 + 30 + 5) << "archive-relative";
    EXPECT_EQ(extraLength, 12u);
    EXPECT_EQ(d->currentLocalOffset + 30 + varSize, zip.entries[1].data - 100);
}

TEST(DosDateTime, Decoding) {
    struct Case {
        std::uint32_t value;
        EntryDate date;
    };
    const Case cases[] = {
        {0x00210000, {0, 0, 0, 1, 0, 1980}},
        {0x30EF6DAF, {30, 45, 13, 15, 6, 2004}},
        {0x00000000, {0, 0, 0, 0, -1, 1980}},  // no range checks
        {0xFFFFFFFF, {62, 63, 31, 31, 14, 2107}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EntryDate d{};
        DecodeDosDateTime(c.value, &d);
        EXPECT_EQ(d.second, c.date.second);
        EXPECT_EQ(d.minute, c.date.minute);
        EXPECT_EQ(d.hour, c.date.hour);
        EXPECT_EQ(d.day, c.date.day);
        EXPECT_EQ(d.month, c.date.month);
        EXPECT_EQ(d.year, c.date.year);
    }
}

}  // namespace
}  // namespace quarn
