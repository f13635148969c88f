#include "archive/entry_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/archive_fixtures.h"
#include "support/temp_folder.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using namespace testing;

// Reads the open entry to its end in pieces of `piece` bytes; the results of
// every call are collected in `counts` (the final 0 included).
std::string ReadAll(ZipDirectory* d, std::uint32_t piece, std::vector<std::int32_t>* counts = nullptr) {
    std::string out;
    std::vector<char> buffer(piece);
    for (int guard = 0; guard < 10000; ++guard) {
        std::int32_t n = ReadEntryData(d, buffer.data(), piece);
        if (counts) counts->push_back(n);
        if (n <= 0) break;
        out.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return out;
}

TEST(EntryReader, NothingOpen) {
    // One stored entry.
    Zip zip = ZipBuilder().file("a.txt", "alpha").build();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    char buffer[8];
    EXPECT_EQ(ReadEntryData(d.get(), buffer, sizeof buffer), ErrParam);
    EXPECT_EQ(CloseEntryData(d.get()), ErrParam);
    EXPECT_EQ(OpenEntryData(nullptr), ErrParam);
    EXPECT_EQ(ReadEntryData(nullptr, buffer, sizeof buffer), ErrParam);
    EXPECT_EQ(CloseEntryData(nullptr), ErrParam);
}

TEST(EntryReader, InvalidCurrentEntryOrBadLocalHeaderDoNotOpen) {
    // Entry 1's central signature is wrong; entry 0's local method disagrees.
    Zip zip = MessWith(ZipBuilder().file("a.txt", "alpha").file("b.txt", "beta").build(),
                       corrupt::CentralSignature(1));
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
    ASSERT_EQ(GoToNextEntry(d.get()), ErrBadArchive);
    EXPECT_EQ(OpenEntryData(d.get()), ErrParam);
    EXPECT_NE(d->openEntry, nullptr) << "a refused open leaves the reader alone";

    Zip bad = MessWith(zip, corrupt::LocalMethod(0, 8));
    DirectoryPtr d2 = OpenMemoryDirectory(bad);
    ASSERT_NE(d2, nullptr);
    EXPECT_EQ(OpenEntryData(d2.get()), ErrBadArchive);
    EXPECT_EQ(d2->openEntry, nullptr);
}

TEST(EntryReader, LengthZeroTouchesNothing) {
    // A deflated entry of 5000 bytes.
    Zip zip = ZipBuilder().deflated("a.txt", std::string(5000, 'a')).build();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
    char buffer[100];
    ASSERT_EQ(ReadEntryData(d.get(), buffer, 100), 100);
    const EntryReader before = *d->openEntry;
    ASSERT_EQ(SourceSeek(d->source, 3, SeekFromStart), 0);
    EXPECT_EQ(ReadEntryData(d.get(), buffer, 0), 0);
    EXPECT_EQ(SourceTell(d->source), 3u);
    EXPECT_EQ(d->openEntry->uncompressedLeft, before.uncompressedLeft);
    EXPECT_EQ(d->openEntry->compressedLeft, before.compressedLeft);
    EXPECT_EQ(d->openEntry->runningCrc, before.runningCrc);
    EXPECT_EQ(d->openEntry->dataPos, before.dataPos);
    EXPECT_EQ(ReadAll(d.get(), 1000), std::string(4900, 'a'));
}

TEST(EntryReader, BufferLargerThanTheEntry) {
    const std::string data = PatternBytes(1000);
    for (bool deflate : {false, true}) {
        SCOPED_TRACE(deflate ? "deflated" : "stored");
        // The same 1000 bytes stored, then deflated.
        Zip zip = ZipBuilder().file("e.bin", data, deflate).build();
        DirectoryPtr d = OpenMemoryDirectory(zip);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
        std::vector<char> buffer(16384);
        ASSERT_EQ(ReadEntryData(d.get(), buffer.data(), 16384), 1000);
        EXPECT_EQ(std::string(buffer.data(), 1000), data);
        EXPECT_EQ(ReadEntryData(d.get(), buffer.data(), 16384), 0);
        EXPECT_TRUE(EntryDataComplete(d.get()));
        EXPECT_EQ(CloseEntryData(d.get()), ErrOk);
        EXPECT_EQ(d->openEntry, nullptr);
    }
}

TEST(EntryReader, StoredEntryRefillsInBlocks) {
    // A 40000-byte stored entry behind 1000 bytes of other data and a local
    // extra field, read from a file: one refill of at most 16384 bytes per read.
    const std::string data = PatternBytes(40000);
    Zip zip = ZipBuilder()
                  .prefix(std::string(1000, 'p'))
                  .file("big.bin", data)
                  .localExtra(std::string(9, 'x'))
                  .build();
    TempFolder temp;
    WriteWholeFile(temp / "big.zip", zip.bytes);
    std::int32_t error = -7;
    DirectoryPtr d(OpenDirectory(OpenSource((temp / "big.zip").string().c_str(), 0, SourceFileName, &error)));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
    std::vector<char> buffer(16384);
    std::string out;
    const std::int32_t expectCount[] = {16384, 16384, 7232, 0};
    const std::uint32_t expectLeft[] = {23616, 7232, 0, 0};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        std::int32_t n = ReadEntryData(d.get(), buffer.data(), 16384);
        ASSERT_EQ(n, expectCount[i]);
        EXPECT_EQ(d->openEntry->compressedLeft, expectLeft[i]);
        out.append(buffer.data(), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(out, data);
    EXPECT_EQ(CloseEntryData(d.get()), ErrOk);

    // From memory the pieces are the same.
    DirectoryPtr m = OpenMemoryDirectory(zip);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(OpenEntryData(m.get()), ErrOk);
    std::vector<std::int32_t> counts;
    EXPECT_EQ(ReadAll(m.get(), 16384, &counts), data);
    EXPECT_EQ(counts, (std::vector<std::int32_t>{16384, 16384, 7232, 0}));
}

TEST(EntryReader, CrcVerdicts) {
    struct Case {
        const char* what;
        std::string data;
        Corrupter damage;
        bool readToEnd;
        std::int32_t verdict;
    };
    const auto none = [](Zip&) {};
    const Case cases[] = {
        {"empty, CRC 0", "", none, true, ErrOk},
        {"empty, CRC not 0", "", corrupt::Crc(0, 0x1234), true, ErrCrc},
        {"intact", PatternBytes(3000), none, true, ErrOk},
        {"wrong CRC", PatternBytes(3000), corrupt::Crc(0, 0x1234), true, ErrCrc},
        {"wrong CRC, closed early", PatternBytes(3000), corrupt::Crc(0, 0x1234), false, ErrOk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // One deflated entry, altered as the case says.
        Zip zip = MessWith(ZipBuilder().deflated("e.bin", c.data).build(), c.damage);
        DirectoryPtr d = OpenMemoryDirectory(zip);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
        if (c.readToEnd) {
            EXPECT_EQ(ReadAll(d.get(), 1024), c.data);
            EXPECT_EQ(ReadEntryData(d.get(), nullptr, 0), 0);
        } else {
            char buffer[100];
            EXPECT_EQ(ReadEntryData(d.get(), buffer, 100), 100);
        }
        EXPECT_EQ(CloseEntryData(d.get()), c.verdict);
    }
}

TEST(EntryReader, DeclaredSizeDisagreesWithTheData) {
    const std::string data = PatternBytes(1000);
    const std::string first600 = data.substr(0, 600);
    struct Case {
        const char* what;
        bool deflate;
        Corrupter damage;
        std::string delivered;
        bool complete;
        std::int32_t verdict;
    };
    const Case cases[] = {
        // Cut at the declared size; the CRC of the whole data no longer fits.
        {"declared smaller", true, corrupt::DeclaredSize(0, 600), first600, true, ErrCrc},
        {"declared smaller, CRC of the cut",
         true,
         [&](Zip& z) {
             corrupt::DeclaredSize(0, 600)(z);
             corrupt::Crc(0, Crc32(first600))(z);
         },
         first600, true, ErrOk},
        // The deflate stream ends first: no CRC check, the entry is short.
        {"declared larger", true, corrupt::DeclaredSize(0, 1500), data, false, ErrOk},
        {"stored, compressed size smaller", false, corrupt::CompressedSize(0, 600), first600, false, ErrOk},
        // Block type 3 does not exist: inflate fails at once.
        {"deflate data error", true, corrupt::DataByte(0, 0, 0xFF), "", false, ErrOk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // 1000 bytes, stored or deflated, altered as the case says.
        Zip zip = MessWith(ZipBuilder().file("e.bin", data, c.deflate).build(),
                           c.damage);
        DirectoryPtr d = OpenMemoryDirectory(zip);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
        std::vector<std::int32_t> counts;
        EXPECT_EQ(ReadAll(d.get(), 256, &counts), c.delivered);
        EXPECT_EQ(counts.back(), 0);
        char buffer[16];
        EXPECT_EQ(ReadEntryData(d.get(), buffer, sizeof buffer), 0) << "later reads give nothing";
        EXPECT_EQ(EntryDataComplete(d.get()), c.complete);
        EXPECT_EQ(CloseEntryData(d.get()), c.verdict);
    }
}

TEST(EntryReader, DataRunningPastTheBlockDeliversWhatIsThereThenFails) {
    // Both sizes of the last entry reach beyond the end of the block: the
    // bytes up to the end come, in whatever pieces are asked for, and then the
    // read fails.
    Zip zip = MessWith(ZipBuilder().file("e.bin", PatternBytes(1000)).build(), [](Zip& z) {
        corrupt::CompressedSize(0, 0x00FFFFFF)(z);
        corrupt::DeclaredSize(0, 0x00FFFFFF)(z);
    });
    const std::string held = zip.bytes.substr(zip.entries[0].data);
    for (std::uint32_t piece : {1u, 500u, 0x10000u}) {
        SCOPED_TRACE(piece);
        DirectoryPtr d = OpenMemoryDirectory(zip);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
        std::vector<char> buffer(piece);
        std::string got;
        std::int32_t n = 0;
        while ((n = ReadEntryData(d.get(), buffer.data(), piece)) > 0) got.append(buffer.data(), n);
        EXPECT_EQ(n, ErrIo);
        EXPECT_EQ(got, held);
        EXPECT_FALSE(EntryDataComplete(d.get()));
        EXPECT_EQ(CloseEntryData(d.get()), ErrOk);
    }
}

TEST(EntryReader, SecondOpenClosesTheFirst) {
    const std::string a = PatternBytes(20000, 1), b = PatternBytes(3000, 2);
    // Entry 0 is deflated with a data descriptor, entry 1 stored.
    Zip zip = ZipBuilder()
                  .deflated("a.bin", a)
                  .dataDescriptor()
                  .file("b.bin", b)
                  .build();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
    char buffer[10];
    ASSERT_EQ(ReadEntryData(d.get(), buffer, 10), 10);
    ASSERT_EQ(GoToNextEntry(d.get()), 0);
    ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
    EXPECT_EQ(ReadAll(d.get(), 999), b);
    EXPECT_EQ(CloseEntryData(d.get()), ErrOk);

    // Opening the same entry twice starts it again.
    ASSERT_EQ(GoToFirstEntry(d.get()), 0);
    ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
    ASSERT_EQ(ReadEntryData(d.get(), buffer, 10), 10);
    ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
    EXPECT_EQ(ReadAll(d.get(), 4096), a);
    EXPECT_EQ(CloseEntryData(d.get()), ErrOk);
}

TEST(EntryReader, CursorMovesDoNotDisturbAnOpenEntry) {
    const std::string a = PatternBytes(40000, 3);
    // A deflated entry of 40000 bytes and two small stored ones.
    Zip zip = ZipBuilder().deflated("a.bin", a).file("b.bin", "beta").file("c.bin", "gamma").build();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
    std::vector<char> buffer(7000);
    ASSERT_EQ(ReadEntryData(d.get(), buffer.data(), 7000), 7000);
    std::string out(buffer.data(), 7000);
    ASSERT_EQ(GoToNextEntry(d.get()), 0);
    ASSERT_EQ(LocateEntry(d.get(), "c.bin", NameCaseSensitive), 0);
    out += ReadAll(d.get(), 7000);
    EXPECT_EQ(out, a);
    EXPECT_EQ(CloseEntryData(d.get()), ErrOk);
}

TEST(EntryReader, CloseDirectoryClosesAnOpenEntry) {
    // Leak checks in the sanitizer build see the reader freed.
    Zip zip = ZipBuilder().deflated("a.bin", PatternBytes(5000)).build();
    DirectoryPtr d = OpenMemoryDirectory(zip);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(OpenEntryData(d.get()), ErrOk);
    char buffer[10];
    ASSERT_EQ(ReadEntryData(d.get(), buffer, 10), 10);
    EXPECT_EQ(CloseDirectory(d.release()), 0);
}

}  // namespace
}  // namespace quarn
