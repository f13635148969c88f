#include "launch/unpack_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "archive/directory.h"
#include "support/hostile_archives.h"
#include "support/temp_folder.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// Every path below a folder, relative to it.
std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        names.insert(Utf8Text(fs::relative(e.path(), folder)));
    return names;
}

// The test stands in its own folder `here`; the payload goes to `target`,
// named with a trailing separator as the launcher names its install folder.
struct UnpackTest : ::testing::Test {
    TempFolder temp;
    WorkingFolderGuard guard;
    fs::path here = temp / "here";
    fs::path target = temp / "game";
    std::string targetText = target.string() + "\\";

    void SetUp() override {
        fs::create_directory(here);
        fs::current_path(here);
    }
    UnpackResult Unpack(const Zip& zip, const char* folder) {
        return UnpackToFolder(zip.data(), zip.size(), folder);
    }
    UnpackResult Unpack(const Zip& zip) { return Unpack(zip, targetText.c_str()); }
    // Nothing beside the target, and nothing in the folder the test stands in.
    void ExpectNothingOutsideTheTarget() {
        EXPECT_EQ(Listing(temp.path()).count("here"), 1u);
        for (const auto& name : Listing(temp.path())) {
            EXPECT_TRUE(name == "here" || name == "game" || name.rfind("game/", 0) == 0) << name;
        }
        EXPECT_TRUE(fs::is_empty(here));
    }
};

Zip Payload() {
    // A game program, a folder entry, files in subfolders (one named with backslashes).
    return ZipBuilder()
        .deflated("game.exe", PatternBytes(70000, 1))
        .folder("data/")
        .deflated("data/maps/a.bin", std::string(40000, 'a'))
        .file("readme.txt", "read me")
        .file("data\\sound\\b.ogg", PatternBytes(300, 2))
        .build();
}

TEST_F(UnpackTest, PayloadWithSubfolders) {
    const fs::path before = fs::current_path();
    UnpackResult r = Unpack(Payload());
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.openResult, 0);
    EXPECT_EQ(r.entryCount, 5u);
    EXPECT_EQ(r.failedEntries, 0u);
    EXPECT_TRUE(r.failures.empty());
    EXPECT_EQ(fs::current_path(), before);
    EXPECT_EQ(ReadWholeFile(target / "game.exe"), PatternBytes(70000, 1));
    EXPECT_EQ(ReadWholeFile(target / "data/maps/a.bin"), std::string(40000, 'a'));
    EXPECT_EQ(ReadWholeFile(target / "readme.txt"), "read me");
    EXPECT_EQ(ReadWholeFile(target / "data" / "sound" / "b.ogg"), PatternBytes(300, 2));
    EXPECT_EQ(Listing(target), (std::set<std::string>{"game.exe", "data", "data/maps", "data/maps/a.bin",
                                                      "readme.txt", "data/sound", "data/sound/b.ogg"}));
    ExpectNothingOutsideTheTarget();
}

TEST_F(UnpackTest, IntoTheWorkingDirectoryWhenNoFolderIsGiven) {
    UnpackResult r = Unpack(Payload(), nullptr);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(ReadWholeFile(here / "readme.txt"), "read me");
    EXPECT_EQ(ReadWholeFile(here / "data/maps/a.bin"), std::string(40000, 'a'));
}

TEST_F(UnpackTest, OverAnOlderInstallation) {
    // The old copy has an outdated program and map, a file of the user's own,
    // and a read-only file that the payload also holds.
    fs::create_directories(target / "data/maps");
    WriteWholeFile(target / "game.exe", "old program");
    WriteWholeFile(target / "data/maps/a.bin", "old map");
    WriteWholeFile(target / "keep.txt", "mine");
    WriteWholeFile(target / "locked.dat", "old lock");
    fs::permissions(target / "locked.dat", fs::perms::owner_write | fs::perms::group_write |
                                               fs::perms::others_write, fs::perm_options::remove);
    // A newer program and map, and a file that the old copy holds read-only.
    Zip zip = ZipBuilder()
                  .deflated("game.exe", "new program")
                  .file("locked.dat", "new lock")
                  .file("data/maps/a.bin", "new map")
                  .build();
    UnpackResult r = Unpack(zip);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(FailureCodes(r), (std::vector<std::pair<std::int32_t, std::int32_t>>{{1, ArchErrOpenFile}}));
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].name, "locked.dat");
    EXPECT_EQ(ReadWholeFile(target / "game.exe"), "new program");
    EXPECT_EQ(ReadWholeFile(target / "data/maps/a.bin"), "new map");
    EXPECT_EQ(ReadWholeFile(target / "keep.txt"), "mine");
    EXPECT_EQ(ReadWholeFile(target / "locked.dat"), "old lock");
}

TEST_F(UnpackTest, DamagedArchives) {
    // Two stored entries around a deflated one; each case damages a copy.
    const Zip good = ZipBuilder()
                         .file("a.txt", "alpha")
                         .deflated("b.bin", PatternBytes(20000))
                         .file("c.txt", "gamma")
                         .build();
    using Failures = std::vector<std::pair<std::int32_t, std::int32_t>>;
    struct Case {
        const char* what;
        Zip zip;
        std::int32_t openResult;
        Failures failures;
    };
    const Case cases[] = {
        {"end signature", MessWith(good, corrupt::EndSignature()), ErrBadArchive, {}},
        {"spanned disks", MessWith(good, corrupt::EndDisks(1, 1)), ErrBadArchive, {}},
        {"entry counts", MessWith(good, corrupt::EndCounts(3, 4)), ErrBadArchive, {}},
        {"comment holding the end signature",
         ZipBuilder().file("a.txt", "alpha").comment(std::string("PK\x05\x06 trailing", 13)).build(),
         ErrBadArchive, {}},
        {"cut in half", MessWith(good, corrupt::Truncate(good.size() / 2)), ErrBadArchive, {}},
        {"central signature of entry 1", MessWith(good, corrupt::CentralSignature(1)), 0,
         {{1, ArchErrCentralHeader}, {2, ArchErrCentralHeader}}},
        {"local signature of entry 0", MessWith(good, corrupt::LocalSignature(0)), 0,
         {{0, ArchErrLocalHeader}}},
        {"local method of entry 2", MessWith(good, corrupt::LocalMethod(2, 8)), 0,
         {{2, ArchErrLocalHeader}}},
        {"local sizes of entry 0", MessWith(good, corrupt::LocalUncompressedSize(0, 4)), 0,
         {{0, ArchErrLocalHeader}}},
        {"data of entry 2 cut off",
         MessWith(MessWith(good, corrupt::CompressedSize(2, 0x00FFFFFF)),
                  corrupt::DeclaredSize(2, 0x00FFFFFF)),
         0, {{2, ArchErrWrite}}},
        {"deflate data of entry 1", MessWith(good, corrupt::DataByte(1, 0, 0xFF)), 0,
         {{1, ArchErrWrite}}},
        {"CRC of entry 1", MessWith(good, corrupt::Crc(1, 0xBAD)), 0, {{1, ArchErrCrc}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path before = fs::current_path();
        UnpackResult r = Unpack(c.zip);
        EXPECT_FALSE(r.complete);
        EXPECT_EQ(r.openResult, c.openResult);
        EXPECT_EQ(FailureCodes(r), c.failures);
        EXPECT_EQ(r.failedEntries, c.failures.size());
        EXPECT_EQ(fs::current_path(), before);
        if (c.openResult == 0) {
            EXPECT_EQ(r.entryCount, 3u);
            // The entries around the damaged one are installed all the same.
            for (auto [index, name] : {std::pair{0, "a.txt"}, std::pair{2, "c.txt"}}) {
                bool failed = false;
                for (const auto& f : c.failures) failed = failed || f.first == index;
                if (!failed) {
                    EXPECT_TRUE(fs::exists(target / name)) << name;
                }
            }
        }
        ExpectNothingOutsideTheTarget();
        fs::remove_all(target);
    }
}

TEST_F(UnpackTest, DataInFrontOfTheArchiveIsNoDamage) {
    // The payload behind 1000 bytes of other data, as in a program file.
    Zip zip = ZipBuilder().prefix(PatternBytes(1000)).file("a.txt", "alpha").deflated("b/c.txt", "c").build();
    UnpackResult r = Unpack(zip);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(ReadWholeFile(target / "b/c.txt"), "c");
}

TEST_F(UnpackTest, UnsafeNamesAreRefusedAndReported) {
    const HostileArchive c = HostileArchiveNamed("unsafe-names");
    const std::vector<std::string>& unsafe = UnsafeEntryNames();
    const std::string long259 = std::string(58, 'd') + "/" + std::string(200, 'f');
    const bool absBefore = fs::exists("/abs") || fs::exists("\\abs");

    UnpackResult r = UnpackToFolder(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()),
                                    targetText.c_str());
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.openResult, 0);
    EXPECT_EQ(r.entryCount, unsafe.size() + 5);
    EXPECT_EQ(FailureCodes(r), c.failures);
    EXPECT_EQ(r.failedEntries, c.failures.size());
    // The refused names are reported as read.
    for (std::size_t i = 0; i < unsafe.size(); ++i) EXPECT_EQ(r.failures[i].name, NameAsRead(unsafe[i]));

    for (const auto& [name, data] : c.installed) EXPECT_EQ(ReadWholeFile(target / name), data) << name;
    EXPECT_EQ(Listing(target), (std::set<std::string>{"first.txt", "sub", "sub/last.txt",
                                                      std::string(58, 'd'), long259}));
    ExpectNothingOutsideTheTarget();
    if (!absBefore) {
        EXPECT_FALSE(fs::exists("/abs") || fs::exists("\\abs"));
    }
}

TEST_F(UnpackTest, TargetThatCannotBeEntered) {
    // A file stands where the folder should be; another target's parent is missing.
    WriteWholeFile(target, "not a folder");
    const std::string orphan = (temp / "missing" / "game").string() + "\\";
    for (const std::string& folder : {targetText, orphan}) {
        SCOPED_TRACE(folder);
        const fs::path before = fs::current_path();
        const std::set<std::string> listing = Listing(temp.path());
        UnpackResult r = Unpack(Payload(), folder.c_str());
        EXPECT_FALSE(r.complete);
        EXPECT_EQ(r.openResult, UnpackErrEnterFolder);
        EXPECT_EQ(r.entryCount, 0u);
        EXPECT_EQ(fs::current_path(), before);
        EXPECT_EQ(Listing(temp.path()), listing);
    }
    EXPECT_EQ(ReadWholeFile(target), "not a folder");
}

TEST_F(UnpackTest, ArchiveThatDoesNotOpen) {
    const std::string junk(64, '\0');  // no end record anywhere
    const fs::path before = fs::current_path();
    UnpackResult r = UnpackToFolder(junk.data(), static_cast<std::uint32_t>(junk.size()), targetText.c_str());
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.openResult, ErrIo);
    EXPECT_EQ(fs::current_path(), before);
    ExpectNothingOutsideTheTarget();
}

TEST(UnpackWorkers, CountFromTheSettingOrTheProcessors) {
    struct Case {
        const char* fixed;
        unsigned processors;
        std::uint32_t count;
    } cases[] = {
        {nullptr, 0, 1},   {nullptr, 1, 1}, {nullptr, 2, 2},  {nullptr, 64, kMaxUnpackWorkers},
        {"1", 16, 1},      {"3", 2, 3},     {"8", 1, 8},      {"9", 2, 2},
        {"0", 2, 2},       {"", 2, 2},      {"2x", 4, 4},     {"-1", 4, 4},
        {" 2", 4, 2},      {"99999999999999999999", 4, 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UnpackWorkerCount(c.fixed, c.processors), c.count)
            << (c.fixed != nullptr ? c.fixed : "(unset)") << ", " << c.processors;
    }
}

// Windows refuses to remove a read-only file.
void RemoveInstalled(const fs::path& folder) {
    std::error_code ignored;
    for (const auto& e : fs::recursive_directory_iterator(folder, ignored))
        fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(folder, ignored);
}

// Unpacks with one worker and with several; both must leave the same tree
// and the same result.
struct SeveralWorkers : UnpackTest {
    void ExpectSameAsOneWorker(const Zip& zip, const std::string& label) {
        SCOPED_TRACE(label);
        const UnpackResult alone = UnpackToFolder(zip.data(), zip.size(), targetText.c_str(), 1);
        const Files aloneTree = InstalledTree(target);
        RemoveInstalled(target);
        for (std::uint32_t workers : {2u, 4u, kMaxUnpackWorkers}) {
            SCOPED_TRACE(std::to_string(workers) + " workers");
            const fs::path before = fs::current_path();
            const UnpackResult r = UnpackToFolder(zip.data(), zip.size(), targetText.c_str(), workers);
            EXPECT_EQ(fs::current_path(), before);
            EXPECT_EQ(r.complete, alone.complete);
            EXPECT_EQ(r.failedEntries, alone.failedEntries);
            EXPECT_EQ(FailureCodes(r), FailureCodes(alone));
            EXPECT_EQ(InstalledTree(target), aloneTree);
            ExpectNothingOutsideTheTarget();
            RemoveInstalled(target);
        }
    }
};

TEST_F(SeveralWorkers, ManyFilesInNestedFolders) {
    ZipBuilder b;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "level" + std::to_string(i % 7) + "/part" + std::to_string(i % 5) + "/f" +
                                 std::to_string(i) + ".bin";
        // Sizes from empty to past the transfer block, stored and deflated.
        const std::size_t size = static_cast<std::size_t>(i * i * 7) % 280000;
        b.file(name, PatternBytes(size, static_cast<std::uint8_t>(i)), i % 2 == 0);
        b.dosTime(static_cast<std::uint16_t>((40 << 9) | ((i % 12 + 1) << 5) | (i % 28 + 1)),
                  static_cast<std::uint16_t>(((i % 24) << 11) | ((i % 60) << 5)));
        if (i % 11 == 0) b.attributes(os::kAttrReadOnly);
    }
    const Zip zip = b.build();
    const UnpackResult r = UnpackToFolder(zip.data(), zip.size(), targetText.c_str(), 4);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.entryCount, 300u);
    EXPECT_EQ(InstalledTree(target).size(), 300u + 7u + 35u);
    RemoveInstalled(target);
    ExpectSameAsOneWorker(zip, "many files");
}

// Entries that land on one path keep the outcome of entry order: the last
// duplicate wins, a file in the way of a folder fails its followers.
TEST_F(SeveralWorkers, NamesMeetingOnOnePath) {
    ZipBuilder duplicates;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 40; ++i) {
            duplicates.file("same" + std::to_string(i) + ".txt", PatternBytes(5000 + 1000 * round, round));
        }
    }
    const struct {
        const char* label;
        Zip zip;
    } cases[] = {
        {"duplicates", duplicates.build()},
        {"file before a folder of its name", ZipBuilder().file("x", "file").file("x/y", "inner").file("z", "z").build()},
        {"folder before a file of its name", ZipBuilder().file("x/y", "inner").file("x", "file").file("z", "z").build()},
        {"folder entry and file of one name", ZipBuilder().folder("d/").file("d", "file").file("z", "z").build()},
        {"names differing in case", ZipBuilder().file("Read.txt", "one").file("READ.TXT", "two").file("z", "z").build()},
        {"names differing in case beyond ASCII", [] {
             // É and é, Ж and ж: one file on Windows, two on POSIX.
             ZipBuilder b;
             for (int i = 0; i < 40; ++i) {
                 const std::string n = std::to_string(i);
                 b.file("\xC3\x89t\xC3\xA9" + n + ".txt", PatternBytes(20000, 1)).utf8Name();
                 b.file("\xC3\xA9T\xC3\x89" + n + ".TXT", PatternBytes(30000, 2)).utf8Name();
                 b.file("\xD0\x96/" + n, "upper").utf8Name();
                 b.file("\xD0\xB6/" + n, "lower").utf8Name();
             }
             return b.build();
         }()},
        {"trailing dot", ZipBuilder().file("a.", "one").file("a", "two").file("z", "z").build()},
        {"both separators", ZipBuilder().file("s\\f", "one").file("s/f", "two").file("z", "z").build()},
    };
    for (const auto& c : cases) ExpectSameAsOneWorker(c.zip, c.label);
}

}  // namespace
}  // namespace quarn
