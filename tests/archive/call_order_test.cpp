// The archive interface as an outside caller drives it: records, searches and
// extractions in any order, from a memory block, a named file and a handle,
// which must all give the same results for the same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/zip_archive.h"
#include "os/file.h"
#include "support/archive_fixtures.h"
#include "support/hostile_archives.h"
#include "support/temp_folder.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using namespace testing;
namespace fs = std::filesystem;

enum class From { Memory, FileName, Handle };
const From kSources[] = {From::Memory, From::FileName, From::Handle};
const char* Named(From f) {
    return f == From::Memory ? "memory" : f == From::FileName ? "file name" : "handle";
}

enum class To { File, Handle, Memory };
const char* Named(To t) { return t == To::File ? "file" : t == To::Handle ? "handle" : "memory"; }

struct Extracted {
    std::int32_t result;
    std::string data;
};

struct CallOrderTest : ::testing::Test {
    TempFolder temp;
    WorkingFolderGuard guard;
    void SetUp() override { fs::current_path(temp.path()); }

    ArchivePtr Open(const Zip& zip, From from) {
        if (from == From::Memory) return OpenMemoryArchive(zip);
        const std::string name = (temp / "archive.zip").string();
        WriteWholeFile(name, zip.bytes);
        if (from == From::FileName) return ArchivePtr(OpenArchive(name.c_str(), 0, SourceFileName));
        os::ScopedFile file(os::OpenForReading(name.c_str()));
        // The source keeps a duplicate; this one closes here.
        return ArchivePtr(OpenArchive(HandleSource(file.get()), 0, SourceHandle));
    }

    // The whole entry through one target; memory in pieces of 7 bytes, whose
    // count the declared size tells.
    Extracted Extract(ArchiveHandle* a, std::int32_t index, To to) {
        const fs::path out = temp / ("out-" + std::to_string(serial_++) + ".bin");
        if (to == To::File) {
            const std::string name = out.string();
            std::int32_t r = ExtractEntry(a, index, const_cast<char*>(name.c_str()), 0, SourceFileName);
            return {r, fs::exists(out) ? ReadWholeFile(out) : ""};
        }
        if (to == To::Handle) {
            std::int32_t r = 0;
            {
                os::ScopedFile file(os::CreateFileWithAttributes(out.string().c_str(), os::kAttrNormal));
                r = ExtractEntry(a, index, HandleTarget(file.get()), 0, SourceHandle);
            }
            return {r, ReadWholeFile(out)};
        }
        Extracted got{ArchDataDelivered, ""};
        char piece[7];
        while ((got.result = ExtractEntry(a, index, piece, sizeof piece, SourceMemory)) ==
               ArchDataDelivered) {
            got.data.append(piece, sizeof piece);
        }
        return got;
    }

private:
    int serial_ = 0;
};

// Memory pieces are whole but for the last; the data delivered is cut to
// what the file targets wrote.
std::string CutTo(const std::string& data, std::size_t size) { return data.substr(0, size); }

TEST_F(CallOrderTest, ExtractionDeliversTheEntryAskedForAfterAnyCalls) {
    const Zip zip = ZipBuilder().file("a.txt", std::string(10, 'A')).file("b.txt", std::string(20, 'B')).build();
    struct Case {
        const char* what;
        std::function<void(ArchiveHandle*)> before;  // leaves entry 0's record cached
    };
    const Case cases[] = {
        {"a search without outputs moved the cursor",
         [](ArchiveHandle* a) { EXPECT_EQ(FindEntry(a, "b.txt", false, nullptr, nullptr), ArchOk); }},
        {"a search ignoring case moved the cursor",
         [](ArchiveHandle* a) { EXPECT_EQ(FindEntry(a, "B.TXT", true, nullptr, nullptr), ArchOk); }},
        {"a search with only the index moved the cursor",
         [](ArchiveHandle* a) {
             std::int32_t index = -1;
             EXPECT_EQ(FindEntry(a, "b.txt", false, &index, nullptr), ArchOk);
             EXPECT_EQ(index, 1);
         }},
        {"a memory extraction of entry 1 moved the cursor",
         [](ArchiveHandle* a) {
             char buffer[64];
             EXPECT_EQ(ExtractEntry(a, 1, buffer, sizeof buffer, SourceMemory), ArchDataDelivered);
             EXPECT_EQ(ExtractEntry(a, 1, buffer, sizeof buffer, SourceMemory), ArchOk);
         }},
        {"a memory extraction of entry 1 left open",
         [](ArchiveHandle* a) {
             char buffer[4];
             EXPECT_EQ(ExtractEntry(a, 1, buffer, sizeof buffer, SourceMemory), ArchDataDelivered);
         }},
    };
    for (From from : kSources) {
        for (To to : {To::File, To::Handle}) {
            for (const Case& c : cases) {
                SCOPED_TRACE(::testing::Message() << c.what << ", from " << Named(from) << " to "
                                                  << Named(to));
                ArchivePtr a = Open(zip, from);
                ASSERT_NE(a, nullptr);
                ZipEntry entry;
                ASSERT_EQ(GetEntry(a.get(), 0, &entry), ArchOk);
                c.before(a.get());
                const Extracted got = Extract(a.get(), 0, to);
                EXPECT_EQ(got.result, ArchOk);
                EXPECT_EQ(got.data, std::string(10, 'A'));
            }
        }
    }
}

TEST_F(CallOrderTest, ExtractionWalksAgainPastAnUnreadableHeader) {
    // Three entries claimed; the third central header's signature is broken,
    // so the cursor stops there after the failed record request.
    const Zip zip = MessWith(
        ZipBuilder().file("a.txt", "alpha").file("b.txt", "bravo").file("c.txt", "charlie").build(),
        corrupt::CentralSignature(2));
    for (From from : kSources) {
        for (To to : {To::File, To::Handle, To::Memory}) {
            SCOPED_TRACE(::testing::Message() << "from " << Named(from) << " to " << Named(to));
            ArchivePtr a = Open(zip, from);
            ASSERT_NE(a, nullptr);
            ZipEntry entry;
            ASSERT_EQ(GetEntry(a.get(), 0, &entry), ArchOk);
            EXPECT_EQ(GetEntry(a.get(), 2, &entry), ArchErrCentralHeader);
            const Extracted got = Extract(a.get(), 0, to);
            EXPECT_EQ(got.result, ArchOk);
            EXPECT_EQ(CutTo(got.data, 5), "alpha");
            EXPECT_EQ(Extract(a.get(), 2, to).result, ArchErrCentralHeader);
        }
    }
}

TEST_F(CallOrderTest, SearchFindsNamesBeforeAnUnreadableHeader) {
    // The failed request for entry 2 leaves the cursor on its broken header;
    // the names before it must still be found, in either case rule.
    const Zip zip = MessWith(
        ZipBuilder().file("a.txt", "alpha").file("b.txt", "bravo").file("c.txt", "charlie").build(),
        corrupt::CentralSignature(2));
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    ZipEntry entry;
    for (bool ignoreCase : {false, true}) {
        SCOPED_TRACE(ignoreCase);
        ASSERT_EQ(GetEntry(a.get(), 2, &entry), ArchErrCentralHeader);
        std::int32_t index = -1;
        EXPECT_EQ(FindEntry(a.get(), "b.txt", ignoreCase, &index, &entry), ArchOk);
        EXPECT_EQ(index, 1);
        EXPECT_STREQ(entry.name, "b.txt");
        ASSERT_EQ(GetEntry(a.get(), 2, &entry), ArchErrCentralHeader);
        EXPECT_EQ(FindEntry(a.get(), "c.txt", ignoreCase, &index, nullptr), ArchErrNotFound);
        EXPECT_EQ(FindEntry(a.get(), "a.txt", ignoreCase, nullptr, nullptr), ArchOk);
        EXPECT_EQ(Extract(a.get(), 0, To::Memory).data.substr(0, 5), "alpha");
    }
}

TEST_F(CallOrderTest, SourcesAgreeOnDataDeclaredPastTheEnd) {
    const std::string text = PatternBytes(3000);
    const std::string big = PatternBytes(40000, 7);
    // Entry 0's compressed size is raised (in both headers) to run past the
    // end of the archive; what follows it in the archive differs per case.
    const auto past = [](std::size_t entry, bool raiseDeclared) {
        return [=](Zip& z) {
            corrupt::CompressedSize(entry, 0x00FFFFFF)(z);
            if (raiseDeclared) corrupt::DeclaredSize(entry, 0x00FFFFFF)(z);
        };
    };
    struct Case {
        const char* what;
        Zip zip;
        std::int32_t result;  // for a file or handle target
        std::string data;     // what every target receives
    };
    const Zip followed = ZipBuilder().deflated("t.bin", text).file("big.bin", big).build();
    const Zip alone = ZipBuilder().deflated("t.bin", text).build();
    const Zip stored = ZipBuilder().file("t.bin", text).build();
    const Zip cut = MessWith(stored, past(0, true));
    const Case cases[] = {
        {"deflate stream complete, 40000 bytes after it", MessWith(followed, past(0, false)), ArchOk,
         text},
        {"deflate stream complete, the directory after it", MessWith(alone, past(0, false)), ArchOk,
         text},
        {"stored data complete", MessWith(stored, past(0, false)), ArchOk, text},
        {"stored data cut by the end of the archive", cut, ArchErrWrite,
         cut.bytes.substr(cut.entries[0].data)},
    };
    for (const Case& c : cases) {
        for (From from : kSources) {
            for (To to : {To::File, To::Handle, To::Memory}) {
                SCOPED_TRACE(::testing::Message() << c.what << ", from " << Named(from) << " to "
                                                  << Named(to));
                ArchivePtr a = Open(c.zip, from);
                ASSERT_NE(a, nullptr);
                const Extracted got = Extract(a.get(), 0, to);
                const std::int32_t expected =
                    to != To::Memory ? c.result : c.result == ArchOk ? ArchOk : ArchErrEntryData;
                EXPECT_EQ(got.result, expected);
                EXPECT_TRUE(CutTo(got.data, c.data.size()) == c.data) << got.data.size();
            }
        }
    }
}

TEST_F(CallOrderTest, MemoryTargetIsCheckedBeforeAnythingIsOpened) {
    const std::string one = PatternBytes(100, 1);
    const Zip zip = ZipBuilder().file("zero.bin", "zero").deflated("one.bin", one).build();
    ArchivePtr a = OpenMemoryArchive(zip);
    ASSERT_NE(a, nullptr);
    char buffer[10];
    // Nothing open: a null buffer with a length opens nothing.
    EXPECT_EQ(ExtractEntry(a.get(), 0, nullptr, 16, SourceMemory), ArchErrArgument);
    EXPECT_EQ(a->archive->openIndex, -1);
    EXPECT_EQ(a->archive->directory->openEntry, nullptr);
    // Entry 1 in progress: the refused call leaves it where it stood.
    ASSERT_EQ(ExtractEntry(a.get(), 1, buffer, sizeof buffer, SourceMemory), ArchDataDelivered);
    for (std::int32_t index : {0, 1, 2, -1}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(ExtractEntry(a.get(), index, nullptr, 16, SourceMemory), ArchErrArgument);
    }
    ASSERT_EQ(ExtractEntry(a.get(), 1, buffer, sizeof buffer, SourceMemory), ArchDataDelivered);
    EXPECT_EQ(std::string(buffer, sizeof buffer), one.substr(10, 10));
    // A null buffer of no length is a read of nothing; index -1 is no entry.
    EXPECT_EQ(ExtractEntry(a.get(), -1, buffer, sizeof buffer, SourceMemory), ArchErrArgument);
    EXPECT_EQ(a->archive->openIndex, -1);
}

TEST_F(CallOrderTest, LocalHeaderBeyondTwoGibibytesIsRefusedFromEverySource) {
    // A copy of entry 0's local header planted as its central extra field,
    // and the central record's local-header offset set to 2 GiB: a handle
    // source whose seek there failed unnoticed read the planted header and
    // took the record; memory reads nothing there.
    const Zip plain = ZipBuilder().file("a.txt", "hello").build();
    const std::string planted = plain.bytes.substr(plain.entries[0].local, 30);
    const Zip zip = ZipBuilder().file("a.txt", "hello").centralExtra(planted).build();
    const std::string bytes = WithCentralLocalOffset(zip, 0, 0x80000000u);
    Zip far = zip;
    far.bytes = bytes;
    for (From from : kSources) {
        SCOPED_TRACE(Named(from));
        ArchivePtr a = Open(far, from);
        ASSERT_NE(a, nullptr);
        ZipEntry entry;
        EXPECT_EQ(GetEntry(a.get(), 0, &entry), ArchErrLocalHeader);
        EXPECT_EQ(Extract(a.get(), 0, To::File).result, ArchErrLocalHeader);
        EXPECT_EQ(Extract(a.get(), 0, To::Memory).result, ArchErrEntryData);
    }
}

}  // namespace
}  // namespace quarn
