// The launch sequence, run natively: identity, payload and version data from
// the launch table, install folders in real temporary folders.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <future>
#include <string>

#include "identity/guest_identity.h"
#include "launch/launch_sequence.h"
#include "os/folder_lock.h"
#include "os/shell.h"
#include "quarn/identity_encoder.h"
#include "support/launch_table.h"
#include "support/temp_folder.h"
#include "support/version_block.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using quarn::testing::TestLaunchTable;
using namespace testing;
namespace fs = std::filesystem;

constexpr char kModule[] = "/packages/play.exe";
constexpr char kRegistryUserPath[] = "Software\\Velmor\\QUARN\\userpath";

struct LaunchTest : ::testing::Test {
    TempFolder temp;

    void SetUp() override {
        quarn::testing::ResetTestLaunchTable();
        ReadConfigFile(nullptr, nullptr, nullptr);
        auto& table = TestLaunchTable();
        table.programName = "C:\\Downloads\\play.exe";
        table.modulePath = kModule;
        table.specialFolders[os::kFolderDocuments] = (temp / "Documents").string();
        table.specialFolders[os::kFolderApplicationData] = (temp / "AppData").string();
        SetBuild("2.5.1.340");
        Package(ZipBuilder().file("play.exe", "game program").file("data/a.txt", "alpha"));
    }
    void TearDown() override { ReadConfigFile(nullptr, nullptr, nullptr); }

    void SetBuild(const std::string& version) {
        TestLaunchTable().versionBlocks[kModule] = FileVersionBlock(version);
    }
    // The payload and a GAMEID made for its size.
    void Package(const ZipBuilder& payload, const std::string& owner = "abc",
                 const std::string& game = "def") {
        auto& resources = TestLaunchTable().resources;
        resources["GAMEDATA"] = payload.build().bytes;
        std::string gameId, error;
        ASSERT_TRUE(tool::MakeGameIdResource(owner, game, "", PayloadSize(), &gameId, &error));
        resources["GAMEID"] = gameId;
    }
    std::uint32_t PayloadSize() {
        return static_cast<std::uint32_t>(TestLaunchTable().resources["GAMEDATA"].size());
    }
    std::string Stamp(std::uint32_t build) { return std::to_string(build) + " " + std::to_string(PayloadSize()); }
    fs::path DocumentsInstall() { return temp / "Documents/QUARN/bin/abc/def"; }
    std::string Started() {
        const auto& lines = TestLaunchTable().startedCommandLines;
        return lines.empty() ? std::string() : lines.back();
    }
};

TEST_F(LaunchTest, FirstRunInstallsUnderDocumentsAndStartsTheProgram) {
    const LaunchReport report = RunLaunchSequence();
    EXPECT_EQ(report.identity, "abc.def");
    EXPECT_EQ(report.buildNumber, 340u);
    EXPECT_EQ(report.installFolder, (temp / "Documents").string() + "\\QUARN\\bin\\abc\\def\\");
    EXPECT_TRUE(report.unpacked);
    EXPECT_TRUE(report.stampWritten);
    EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "gameversion.txt"), Stamp(340));
    EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "data/a.txt"), "alpha");
    EXPECT_EQ(Started(), "\"" + report.installFolder + "play.exe\"");
    EXPECT_NE(report.processId, 0u);
}

TEST_F(LaunchTest, MatchingStampSkipsTheUnpacking) {
    RunLaunchSequence();
    fs::remove(DocumentsInstall() / "data/a.txt");
    const LaunchReport second = RunLaunchSequence();
    EXPECT_FALSE(second.unpacked);
    EXPECT_FALSE(fs::exists(DocumentsInstall() / "data/a.txt"));  // nothing was unpacked
    EXPECT_NE(second.processId, 0u);
    EXPECT_EQ(TestLaunchTable().startedCommandLines.size(), 2u);
}

TEST_F(LaunchTest, StampCases) {
    struct Case {
        const char* name;
        std::string stored;  // content of gameversion.txt before the run
        bool unpacks;
    };
    const Case cases[] = {
        {"matching", Stamp(340), false},
        {"only the build number", "340", true},
        {"no numbers", "", true},
        {"other build", Stamp(339), true},
        {"other size", "340 1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(temp / "Documents");
        fs::create_directories(DocumentsInstall());
        WriteWholeFile(DocumentsInstall() / "play.exe", "installed earlier");
        WriteWholeFile(DocumentsInstall() / "gameversion.txt", c.stored);
        const LaunchReport report = RunLaunchSequence();
        EXPECT_EQ(report.unpacked, c.unpacks);
        EXPECT_EQ(fs::exists(DocumentsInstall() / "data/a.txt"), c.unpacks);
        EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "gameversion.txt"), c.unpacks ? Stamp(340) : c.stored);
        EXPECT_NE(report.processId, 0u);
    }
}

TEST_F(LaunchTest, ReadOnlyStampThatDiffersUnpacksOnEveryRun) {
    fs::create_directories(DocumentsInstall());
    const fs::path stamp = DocumentsInstall() / "gameversion.txt";
    WriteWholeFile(stamp, "1 1");
    fs::permissions(stamp, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        fs::remove(DocumentsInstall() / "data/a.txt");
        const LaunchReport report = RunLaunchSequence();
        EXPECT_TRUE(report.unpacked);
        EXPECT_TRUE(report.unpackComplete);
        EXPECT_FALSE(report.stampWritten);
        EXPECT_TRUE(fs::exists(DocumentsInstall() / "data/a.txt"));
        EXPECT_EQ(ReadWholeFile(stamp), "1 1");
        EXPECT_NE(report.processId, 0u);
    }
}

TEST_F(LaunchTest, NewBuildOrPayloadReinstalls) {
    RunLaunchSequence();
    SetBuild("2.5.1.341");
    EXPECT_TRUE(RunLaunchSequence().unpacked);
    EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "gameversion.txt"), Stamp(341));
    Package(ZipBuilder().file("play.exe", "game program, patched").file("data/a.txt", "alpha"));
    EXPECT_TRUE(RunLaunchSequence().unpacked);
    EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "play.exe"), "game program, patched");
    EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "gameversion.txt"), Stamp(341));
}

TEST_F(LaunchTest, UserPathFromTheRegistry) {
    // The value with no, a forward and a backward trailing separator.
    for (const std::string suffix : {"", "/", "\\"}) {
        SCOPED_TRACE("suffix '" + suffix + "'");
        const std::string base = (temp / "Games").string();
        TestLaunchTable().registry[kRegistryUserPath] = base + suffix;
        const LaunchReport report = RunLaunchSequence();
        const std::string expected = base + (suffix.empty() ? "\\" : suffix) + "bin\\abc\\def\\";
        EXPECT_EQ(report.installFolder, expected);
        EXPECT_TRUE(fs::exists(temp / "Games/bin/abc/def/play.exe"));
        EXPECT_FALSE(fs::exists(temp / "Games/QUARN"));  // no QUARN folder under userpath
        fs::remove_all(temp / "Games");
    }
}

TEST_F(LaunchTest, UnusableCandidatesFallBackInOrder) {
    // userpath under a file: its folder cannot be made, so documents is next.
    WriteWholeFile(temp / "blocked", "x");
    TestLaunchTable().registry[kRegistryUserPath] = (temp / "blocked").string();
    EXPECT_EQ(RunLaunchSequence().installFolder, (temp / "Documents").string() + "\\QUARN\\bin\\abc\\def\\");

    // A file where the documents' QUARN folder should be: application data.
    fs::remove_all(temp / "Documents");
    fs::create_directories(temp / "Documents");
    WriteWholeFile(temp / "Documents/QUARN", "x");
    EXPECT_EQ(RunLaunchSequence().installFolder, (temp / "AppData").string() + "\\QUARN\\bin\\abc\\def\\");

    // No usable candidate: nothing unpacked or started.
    TestLaunchTable().specialFolders.erase(os::kFolderApplicationData);
    TestLaunchTable().startedCommandLines.clear();
    const LaunchReport report = RunLaunchSequence();
    EXPECT_TRUE(report.installFolder.empty());
    EXPECT_TRUE(TestLaunchTable().startedCommandLines.empty());
}

TEST_F(LaunchTest, RegistryValueOverTheLimitIsDropped) {
    TestLaunchTable().registry[kRegistryUserPath] = std::string(261, 'x');
    EXPECT_EQ(RunLaunchSequence().installFolder, (temp / "Documents").string() + "\\QUARN\\bin\\abc\\def\\");
}

TEST_F(LaunchTest, GuestIdentityFromTheConfiguration) {
    auto& table = TestLaunchTable();
    table.resources.erase("GAMEID");
    table.resources["GAMECONFIG"] = tool::MakeGameConfigResource(ZipBuilder().file("HUB.INI", "[hub]").build().bytes);
    table.programName = "C:/Downloads/mygame.exe";
    const LaunchReport report = RunLaunchSequence();
    EXPECT_EQ(report.identity, "Guest.mygame.exe");
    EXPECT_EQ(report.installFolder, (temp / "Documents").string() + "\\QUARN\\bin\\Guest.mygame\\exe\\");
    EXPECT_EQ(ReadWholeFile(temp / "Documents/QUARN/bin/Guest.mygame/exe/gameversion.txt"), "340 0");
}

TEST_F(LaunchTest, NoIdentityDoesNothing) {
    TestLaunchTable().resources.erase("GAMEID");
    const LaunchReport report = RunLaunchSequence();
    EXPECT_TRUE(report.identity.empty());
    EXPECT_FALSE(fs::exists(temp / "Documents"));
    EXPECT_TRUE(TestLaunchTable().startedCommandLines.empty());
}

TEST_F(LaunchTest, IncompleteUnpackingKeepsTheOldStampAndTriesAgain) {
    // One entry with a name that would leave the folder: the rest installs,
    // the program starts, but the installation is not recorded.
    Package(ZipBuilder().file("play.exe", "game program").file("../escape.txt", "x"));
    const LaunchReport first = RunLaunchSequence();
    EXPECT_TRUE(first.unpacked);
    EXPECT_FALSE(first.unpackComplete);
    EXPECT_FALSE(first.stampWritten);
    EXPECT_FALSE(fs::exists(DocumentsInstall() / "gameversion.txt"));
    EXPECT_FALSE(fs::exists(DocumentsInstall().parent_path() / "escape.txt"));
    EXPECT_NE(first.processId, 0u);
    EXPECT_TRUE(RunLaunchSequence().unpacked);  // and again at the next start
}

TEST_F(LaunchTest, ProgramMissingOrTooLongForTheCommandLine) {
    Package(ZipBuilder().file("other.exe", "not the launcher's name"));
    LaunchReport report = RunLaunchSequence();
    EXPECT_EQ(report.processId, 0u);  // asked, but there is no such file
    EXPECT_EQ(TestLaunchTable().startedCommandLines.size(), 1u);

    // A name that makes the quoted command line longer than 259 characters
    // is not started at all.
    TestLaunchTable().programName = std::string(250, 'p') + ".exe";
    TestLaunchTable().startedCommandLines.clear();
    report = RunLaunchSequence();
    EXPECT_EQ(report.processId, 0u);
    EXPECT_TRUE(TestLaunchTable().startedCommandLines.empty());
}

TEST_F(LaunchTest, SpacesInTheInstallPathAreQuoted) {
    TestLaunchTable().specialFolders[os::kFolderDocuments] = (temp / "My Documents").string();
    const LaunchReport report = RunLaunchSequence();
    EXPECT_EQ(Started(), "\"" + report.installFolder + "play.exe\"");
    EXPECT_NE(report.processId, 0u);
}

// The package saved under another name: the program named like the launcher
// is missing, so the one its OriginalFilename names starts, if that is a
// plain name of an installed file. The launcher's own name still comes first.
TEST_F(LaunchTest, RenamedPackageStartsTheProgramItsVersionNames) {
    struct Case {
        const char* launcher;           // the package's file name
        std::optional<std::string> original;  // OriginalFilename; none: not there
        const char* started;            // the program started; empty: the launcher's name
    };
    const Case cases[] = {
        {"play (1).exe", "play.exe", "play.exe"},
        {"setup.exe", "play.exe", "play.exe"},
        {"play.exe", "other.exe", "play.exe"},  // named like the launcher: first
        {"setup.exe", std::nullopt, ""},         // as before: tried, and missing
        {"setup.exe", "missing.exe", ""},
        {"setup.exe", "", ""},
        {"setup.exe", "..\\escape.exe", ""},
        {"setup.exe", "data/a.txt", ""},
        {"setup.exe", "C:play.exe", ""},
        {"setup.exe", "..", ""},
    };
    Package(ZipBuilder().file("play.exe", "game program").file("other.exe", "x").file("data/a.txt", "alpha"));
    fs::create_directories(DocumentsInstall());
    WriteWholeFile(DocumentsInstall().parent_path() / "escape.exe", "outside");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.launcher) + " / " + c.original.value_or("(none)"));
        testing::VersionBlockContent content;
        testing::VersionStringTable table{"040904B0", {{"FileVersion", "2.5.1.340"}}};
        if (c.original) table.strings.emplace_back("OriginalFilename", *c.original);
        content.stringTables.push_back(table);
        content.translations = std::vector<testing::VersionTranslation>{{}};
        TestLaunchTable().versionBlocks[kModule] = testing::BuildVersionBlock(content);
        TestLaunchTable().programName = std::string("C:\\Downloads\\") + c.launcher;
        const LaunchReport report = RunLaunchSequence();
        const std::string expected = *c.started != '\0' ? c.started : c.launcher;
        EXPECT_EQ(Started(), "\"" + report.installFolder + expected + "\"");
        EXPECT_EQ(report.processId != 0, *c.started != '\0');
    }
}

// A thread that takes the install folder's lock, holds it until release is
// set, does the holder's work and lets go; it has the lock when this returns.
// Its result is false when it could not take the lock.
template <typename Work>
std::future<bool> HoldInstallLock(const fs::path& folder, std::future<void> release, Work work) {
    fs::create_directories(folder);
    std::promise<void> locked;
    std::future<void> isLocked = locked.get_future();
    auto holder = std::async(std::launch::async, [path = folder.string(), locked = std::move(locked),
                                                  release = std::move(release), work]() mutable {
        os::FolderLock lock;
        if (!lock.Acquire(path.c_str(), 0)) {
            locked.set_value();
            return false;
        }
        locked.set_value();
        release.wait();
        work();
        return true;
    });
    isLocked.wait();
    return holder;
}

// One install at a time: a launcher that finds the folder locked waits, and
// then finds the stamp that the holder wrote; one whose wait runs out goes on
// as it would without the lock.
TEST_F(LaunchTest, LockedFolderIsWaitedFor) {
    std::promise<void> release;
    // The holder plays the first launcher: it installs and stamps, then lets go.
    auto holder = HoldInstallLock(DocumentsInstall(), release.get_future(), [this] {
        WriteWholeFile(DocumentsInstall() / "play.exe", "game program");
        WriteWholeFile(DocumentsInstall() / "gameversion.txt", Stamp(340));
    });
    auto second = std::async(std::launch::async, [] { return RunLaunchSequence(60 * 1000); });
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
        << "the second launcher did not wait for the lock";
    release.set_value();
    ASSERT_TRUE(holder.get());
    const LaunchReport report = second.get();
    EXPECT_TRUE(report.lockHeld);
    EXPECT_FALSE(report.unpacked);
    EXPECT_FALSE(fs::exists(DocumentsInstall() / "data/a.txt"));
    EXPECT_NE(report.processId, 0u);
}

TEST_F(LaunchTest, HungHolderIsPassedOver) {
    std::promise<void> release;
    auto holder = HoldInstallLock(DocumentsInstall(), release.get_future(), [] {});
    const LaunchReport report = RunLaunchSequence(100);
    release.set_value();
    ASSERT_TRUE(holder.get());
    EXPECT_FALSE(report.lockHeld);
    EXPECT_TRUE(report.unpacked);
    EXPECT_TRUE(report.stampWritten);
    EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "data/a.txt"), "alpha");
    EXPECT_NE(report.processId, 0u);
}

// Updates that hit a fault: the fault's file stays as it was, the rest is
// updated, the stamp keeps the old version, the game still starts, and the
// next start after the fault is gone completes the update.
struct UpdateFaultTest : LaunchTest {
    void InstallFirstVersion() {
        Package(ZipBuilder().file("play.exe", "game program").file("data/a.txt", "alpha").file("big.bin", "old"));
        ASSERT_TRUE(RunLaunchSequence().stampWritten);
        oldStamp = Stamp(340);
        fs::remove(DocumentsInstall() / "data/a.txt");  // to see that the update ran
        SetBuild("2.5.1.341");
    }
    void PackageUpdate(const std::string& big) {
        Package(ZipBuilder().file("play.exe", "game program").file("data/a.txt", "alpha").file("big.bin", big, true));
    }
    void ExpectIncomplete(const LaunchReport& report) {
        EXPECT_TRUE(report.unpacked);
        EXPECT_FALSE(report.unpackComplete);
        EXPECT_FALSE(report.stampWritten);
        EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "gameversion.txt"), oldStamp);
        EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "data/a.txt"), "alpha");
        EXPECT_NE(report.processId, 0u);
    }
    void ExpectCompletedNow(const std::string& big) {
        const LaunchReport report = RunLaunchSequence();
        EXPECT_TRUE(report.unpackComplete);
        EXPECT_TRUE(report.stampWritten);
        EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "gameversion.txt"), Stamp(341));
        EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "big.bin"), big);
    }
    std::string oldStamp;
};

TEST_F(UpdateFaultTest, FileThatCannotBeReplaced) {
    // A read-only file, and a folder standing where the file must go.
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> fault, remove;
        std::function<void(const fs::path&)> expectIntact;
    };
    const Case cases[] = {
        {"read-only file",
         [](const fs::path& f) { fs::permissions(f, fs::perms::owner_write | fs::perms::group_write |
                                                     fs::perms::others_write, fs::perm_options::remove); },
         [](const fs::path& f) { fs::permissions(f, fs::perms::owner_write, fs::perm_options::add); },
         [](const fs::path& f) { EXPECT_EQ(ReadWholeFile(f), "old"); }},
        {"folder in the way",
         [](const fs::path& f) {
             fs::remove(f);
             fs::create_directories(f / "inside");
         },
         [](const fs::path& f) { fs::remove_all(f); },
         [](const fs::path& f) { EXPECT_TRUE(fs::is_directory(f / "inside")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        InstallFirstVersion();
        const fs::path big = DocumentsInstall() / "big.bin";
        c.fault(big);
        const std::string update = PatternBytes(5000);
        PackageUpdate(update);
        ExpectIncomplete(RunLaunchSequence());
        c.expectIntact(big);
        ExpectIncomplete(RunLaunchSequence());  // tried again, and kept again
        c.remove(big);
        ExpectCompletedNow(update);
        fs::remove_all(temp / "Documents");
    }
}

// A full file system: a file-size limit makes the write that crosses it
// store only what fits, as a full disk does. The limit holds for the whole
// process, so that start runs in a child, which reports by its exit status.
TEST_F(UpdateFaultTest, FullFileSystemInTheMiddleOfAnEntry) {
    InstallFirstVersion();
    const std::string update = PatternBytes(200000);
    PackageUpdate(update);
    constexpr rlim_t kLimit = 50000;
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of killing
        rlimit limit{kLimit, kLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        const LaunchReport r = RunLaunchSequence();
        _exit((r.unpacked ? 1 : 0) | (r.unpackComplete ? 2 : 0) | (r.stampWritten ? 4 : 0) |
              (r.processId != 0 ? 8 : 0));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1 | 8) << "unpacked 1, complete 2, stamp 4, started 8";
    EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "gameversion.txt"), oldStamp);
    EXPECT_EQ(ReadWholeFile(DocumentsInstall() / "data/a.txt"), "alpha");
    // The entry cut short is written in place; the next start rewrites it.
    EXPECT_EQ(fs::file_size(DocumentsInstall() / "big.bin"), kLimit);
    ExpectCompletedNow(update);
}

}  // namespace
}  // namespace quarn
