// Archives made to hurt the installer: lying sizes, counts and offsets,
// records that share or overlap data, comments at the edge of the end-record
// search, and names aimed outside the folder. Each is installed for real
// into a fresh folder two levels inside a sandbox; whatever the damage,
// nothing may appear outside the target, the good entries must come out
// intact, and every bad one must be reported.
//
// The names and damage that unpack_folder_test.cpp covers already are not
// repeated here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "archive/directory.h"
#include "launch/unpack_folder.h"
#include "support/temp_folder.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using namespace testing;
namespace fs = std::filesystem;

using Failures = std::vector<std::pair<std::int32_t, std::int32_t>>;
using Files = std::map<std::string, std::string>;

// Field offsets that the named corrupters do not reach.
constexpr std::size_t kCentralNameLength = 28;
constexpr std::size_t kCentralLocalOffset = 42;
constexpr std::size_t kEndDirectorySize = 12;
constexpr std::size_t kEndDirectoryOffset = 16;

Failures FailureCodes(const UnpackResult& r) {
    Failures out;
    for (const auto& f : r.failures) out.emplace_back(f.index, f.code);
    return out;
}

// The failures an unpacking lists of all it counts.
Failures FirstListed(Failures all) {
    if (all.size() > kMaxListedFailures) all.resize(kMaxListedFailures);
    return all;
}

// Every index from first to last (inclusive) failing with one code.
Failures Failing(std::int32_t first, std::int32_t last, std::int32_t code) {
    Failures out;
    for (std::int32_t i = first; i <= last; ++i) out.emplace_back(i, code);
    return out;
}

// The test stands in `here`; the target lies at a/b/game. Only those may
// exist in the sandbox afterwards, and `here` must stay empty.
struct HostileCorpus : ::testing::Test {
    TempFolder sandbox;
    WorkingFolderGuard guard;
    fs::path here = sandbox / "here";
    fs::path target = sandbox.path() / "a" / "b" / "game";
    std::string targetText = target.string() + "\\";

    void SetUp() override {
        fs::create_directory(here);
        fs::create_directories(target.parent_path());
        fs::current_path(here);
    }

    UnpackResult Install(const std::string& bytes) {
        const fs::path before = fs::current_path();
        UnpackResult r = UnpackToFolder(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                        targetText.c_str());
        EXPECT_EQ(fs::current_path(), before);
        ExpectNothingOutsideTheTarget();
        // Anything reported, or an archive that did not open, is not complete.
        EXPECT_EQ(r.complete, r.openResult == 0 && r.failures.empty());
        EXPECT_EQ(r.failures.size(), std::min<std::size_t>(r.failedEntries, kMaxListedFailures));
        return r;
    }

    void ExpectNothingOutsideTheTarget() {
        for (const auto& e : fs::recursive_directory_iterator(sandbox.path())) {
            const std::string name = fs::relative(e.path(), sandbox.path()).generic_string();
            EXPECT_TRUE(name == "here" || name == "a" || name == "a/b" || name == "a/b/game" ||
                        name.rfind("a/b/game/", 0) == 0)
                << "outside the target: " << name;
        }
        EXPECT_TRUE(fs::is_empty(here));
    }

    void ExpectInstalled(const Files& files) {
        for (const auto& [name, data] : files) {
            EXPECT_EQ(ReadWholeFile(target / name), data) << name;
        }
    }

    void Clear() {
        std::error_code ignored;
        fs::remove_all(target, ignored);
    }
};

std::string WithCentralLocalOffset(Zip zip, std::size_t entry, std::uint32_t offset) {
    Put32(zip.bytes, zip.entries.at(entry).central + kCentralLocalOffset, offset);
    return zip.bytes;
}

std::string WithDirectory(Zip zip, std::uint32_t size, std::uint32_t offset) {
    Put32(zip.bytes, zip.endRecord + kEndDirectorySize, size);
    Put32(zip.bytes, zip.endRecord + kEndDirectoryOffset, offset);
    return zip.bytes;
}

// An archive whose entry "b.txt" has its local header and data inside the
// stored data of "a.bin": the two entries overlap.
std::string OverlappingEntries() {
    const Zip inner = ZipBuilder().file("b.txt", "bravo").build();
    const std::string nested = inner.bytes.substr(0, inner.entries[0].data + inner.entries[0].dataSize);
    Zip outer = ZipBuilder().file("a.bin", nested).file("b.txt", "bravo").build();
    return WithCentralLocalOffset(outer, 1, static_cast<std::uint32_t>(outer.entries[0].data));
}

TEST_F(HostileCorpus, StructuralDamage) {
    const Zip two = ZipBuilder().file("a.txt", "alpha").file("z.txt", "zulu").build();
    const Zip one = ZipBuilder().file("a.txt", "alpha").build();
    const std::uint32_t directorySize = static_cast<std::uint32_t>(one.endRecord - one.centralStart);
    const std::uint32_t directoryOffset = static_cast<std::uint32_t>(one.centralStart);
    // A long directory under a count that promises far more. Its entries
    // are refused names, so that they cost a walk step each but no file:
    // walking to each missing entry again from the first took quadratic time.
    constexpr std::int32_t kMany = 1500;
    ZipBuilder manyBuilder;
    manyBuilder.file("first.txt", "1");
    for (std::int32_t i = 1; i < kMany; ++i) manyBuilder.file("../m" + std::to_string(i), "m");
    const Zip manyZip = manyBuilder.build();
    Failures manyFailures = Failing(1, kMany - 1, UnpackErrUnsafeName);
    for (const auto& f : Failing(kMany, 0xFFFE, ArchErrCentralHeader)) manyFailures.push_back(f);

    struct Case {
        const char* what;
        std::string bytes;
        std::int32_t openResult;
        std::uint32_t entryCount;
        Files installed;
        Failures failures;
    };
    const Case cases[] = {
        {"4 GiB-1 declared, stored, 4 bytes there",
         MessWith(ZipBuilder().file("big", "tiny").file("z.txt", "zulu").build(),
                  [](Zip& z) {
                      corrupt::DeclaredSize(0, 0xFFFFFFFF)(z);
                      corrupt::CompressedSize(0, 0xFFFFFFFF)(z);
                  }).bytes,
         0, 2, {{"z.txt", "zulu"}}, {{0, ArchErrWrite}}},
        {"4 GiB-1 declared, deflated, a tiny stream",
         MessWith(ZipBuilder().deflated("big", "tiny").file("z.txt", "zulu").build(),
                  corrupt::DeclaredSize(0, 0xFFFFFFFF)).bytes,
         0, 2, {{"z.txt", "zulu"}}, {{0, ArchErrWrite}}},
        {"local header offset far past the end", WithCentralLocalOffset(two, 1, 0xFFFFFF00), 0, 2,
         {{"a.txt", "alpha"}}, {{1, ArchErrLocalHeader}}},
        {"local header offset at the end of the block",
         WithCentralLocalOffset(two, 1, two.size()), 0, 2, {{"a.txt", "alpha"}},
         {{1, ArchErrLocalHeader}}},
        {"local header cut by the end of the block",
         WithCentralLocalOffset(two, 1, two.size() - 10), 0, 2, {{"a.txt", "alpha"}},
         {{1, ArchErrLocalHeader}}},
        {"local extra field past the end", MessWith(two, corrupt::LocalExtraLength(1, 0xFFFF)).bytes, 0,
         2, {{"a.txt", "alpha"}}, {{1, ArchErrLocalExtra}}},
        // The name cannot even be read: it would run past the block.
        {"central name length past the end",
         MessWith(two, [](Zip& z) { Put16(z.bytes, z.entries[0].central + kCentralNameLength, 0xFFFF); })
             .bytes,
         0, 2, {}, {{0, ArchErrCentralHeader}, {1, ArchErrCentralHeader}}},
        {"overlapping entries", OverlappingEntries(), 0, 2, {{"b.txt", "bravo"}}, {}},
        {"entry count 65535 over one entry", MessWith(one, corrupt::EndCounts(0xFFFF, 0xFFFF)).bytes, 0,
         0xFFFF, {{"a.txt", "alpha"}}, Failing(1, 0xFFFE, ArchErrCentralHeader)},
        {"entry count 65535 over 1500 entries",
         MessWith(manyZip, corrupt::EndCounts(0xFFFF, 0xFFFF)).bytes, 0, 0xFFFF, {{"first.txt", "1"}},
         manyFailures},
        {"directory size and offset wrap to the true end",
         WithDirectory(one, directorySize + 0x80000000u, directoryOffset + 0x80000000u), ErrBadArchive,
         0, {}, {}},
        {"directory offset wraps past 4 GiB", WithDirectory(one, 0x40, 0xFFFFFFF0u), ErrBadArchive, 0,
         {}, {}},
        {"directory size past the end record", WithDirectory(one, 0xFFFFFFFFu, directoryOffset),
         ErrBadArchive, 0, {}, {}},
        {"comment of 65513 bytes", ZipBuilder().file("a.txt", "alpha").comment(std::string(65513, 'c')).build().bytes,
         0, 1, {{"a.txt", "alpha"}}, {}},
        // The end record lies beyond the search's reach; the 22 bytes read at
        // the start instead are a local header, whose version reads as a disk.
        {"comment of 65535 bytes", ZipBuilder().file("a.txt", "alpha").comment(std::string(65535, 'c')).build().bytes,
         ErrBadArchive, 0, {}, {}},
        {"end record at the very start and nothing else", ZipBuilder().build().bytes, ErrIo, 0, {}, {}},
        {"end record at the very end after other data", ZipBuilder().prefix("MZ other data").build().bytes,
         0, 0, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UnpackResult r = Install(c.bytes);
        EXPECT_EQ(r.openResult, c.openResult);
        EXPECT_EQ(r.entryCount, c.entryCount);
        EXPECT_EQ(FailureCodes(r), FirstListed(c.failures));
        EXPECT_EQ(r.failedEntries, c.failures.size());
        ExpectInstalled(c.installed);
        Clear();
    }
}

TEST_F(HostileCorpus, DeflateStreamLongerThanDeclared) {
    // A megabyte of zeros in a stream that declares 1000 bytes and the CRC
    // of the whole: the delivery stops at 1000, and the CRC then fails.
    const std::string zeros(1 << 20, '\0');
    Zip zip = MessWith(ZipBuilder().deflated("bomb", zeros).file("z.txt", "zulu").build(),
                       corrupt::DeclaredSize(0, 1000));
    UnpackResult r = Install(zip.bytes);
    EXPECT_EQ(FailureCodes(r), (Failures{{0, ArchErrCrc}}));
    ExpectInstalled({{"z.txt", "zulu"}});
    std::error_code error;
    const auto written = fs::file_size(target / "bomb", error);
    if (!error) {
        EXPECT_LE(written, 1000u);
    }
}

TEST_F(HostileCorpus, CentralEntriesSharingOneLocalHeader) {
    // Both central records point at the first local header and its data.
    // Each must come out with exactly that data, or be reported; nothing in
    // between.
    const Zip base = ZipBuilder().file("one.txt", "shared").file("two.txt", "shared").file("end.txt", "end").build();
    const std::string bytes = WithCentralLocalOffset(base, 1, static_cast<std::uint32_t>(base.entries[0].local));
    UnpackResult r = Install(bytes);
    EXPECT_EQ(r.openResult, 0);
    EXPECT_EQ(r.entryCount, 3u);
    const char* names[] = {"one.txt", "two.txt", "end.txt"};
    const char* data[] = {"shared", "shared", "end"};
    for (std::int32_t i = 0; i < 3; ++i) {
        bool reported = false;
        for (const auto& f : r.failures) reported = reported || f.index == i;
        if (!reported) {
            EXPECT_EQ(ReadWholeFile(target / names[i]), data[i]) << names[i];
        }
    }
    EXPECT_EQ(ReadWholeFile(target / "end.txt"), "end");
}

TEST_F(HostileCorpus, NamesForOtherMachinesAndDrives) {
    // Network paths in either spelling, and a drive-relative one deeper in.
    const std::vector<std::string> unsafe = {"\\\\server\\share\\x", "//server/share/x",
                                             "sub\\..\\..\\x", "sub/C:x", "sub/con .txt"};
    ZipBuilder b;
    for (const auto& name : unsafe) b.file(name, "evil");
    b.file("sub/good.txt", "good");
    UnpackResult r = Install(b.build().bytes);
    EXPECT_EQ(FailureCodes(r), Failing(0, static_cast<std::int32_t>(unsafe.size()) - 1, UnpackErrUnsafeName));
    ExpectInstalled({{"sub/good.txt", "good"}});
    EXPECT_FALSE(fs::exists(target / "x"));
}

}  // namespace
}  // namespace quarn
