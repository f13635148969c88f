// The hostile-archive corpus, each archive installed for real into a fresh
// folder two levels inside a sandbox: whatever the damage, nothing may
// appear outside the target, the good entries must come out intact, and
// every bad one must be reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "archive/directory.h"
#include "launch/unpack_folder.h"
#include "support/hostile_archives.h"
#include "support/temp_folder.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// The failures an unpacking lists of all it counts.
Failures FirstListed(Failures all) {
    if (all.size() > kMaxListedFailures) all.resize(kMaxListedFailures);
    return all;
}

// The names of the listed failures, whose files keep no stored times.
std::set<std::string> Named(const UnpackResult& r) {
    std::set<std::string> names;
    for (const UnpackFailure& f : r.failures) names.insert(f.name);
    return names;
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

    UnpackResult Install(const std::string& bytes, std::uint32_t workers = 0) {
        const fs::path before = fs::current_path();
        UnpackResult r = UnpackToFolder(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                        targetText.c_str(), workers);
        EXPECT_EQ(fs::current_path(), before);
        ExpectNothingOutsideTheTarget();
        // Anything reported, or an archive that did not open, is not complete.
        EXPECT_EQ(r.complete, r.openResult == 0 && r.failures.empty());
        EXPECT_EQ(r.failures.size(), std::min<std::size_t>(r.failedEntries, kMaxListedFailures));
        return r;
    }

    void ExpectNothingOutsideTheTarget() {
        for (const auto& e : fs::recursive_directory_iterator(sandbox.path())) {
            const std::string name = Utf8Text(fs::relative(e.path(), sandbox.path()));
            EXPECT_TRUE(name == "here" || name == "a" || name == "a/b" || name == "a/b/game" ||
                        name.rfind("a/b/game/", 0) == 0)
                << "outside the target: " << name;
        }
        EXPECT_TRUE(fs::is_empty(here));
    }

    void ExpectInstalled(const Files& files) {
        for (const auto& [name, data] : files) {
            EXPECT_EQ(ReadWholeFile(target / Utf8Path(name)), data) << name;
        }
    }

    void Clear() {
        std::error_code ignored;
        fs::remove_all(target, ignored);
    }
};

TEST_F(HostileCorpus, EveryArchiveOfTheCorpus) {
    for (const HostileArchive& c : HostileArchives()) {
        SCOPED_TRACE(c.label);
        UnpackResult r = Install(c.bytes);
        EXPECT_EQ(r.openResult, c.openResult);
        EXPECT_EQ(r.entryCount, c.entryCount);
        EXPECT_EQ(FailureCodes(r), FirstListed(c.failures));
        EXPECT_EQ(r.failedEntries, c.failures.size());
        ExpectInstalled(c.installed);
        Clear();
    }
}

// Several workers must leave what one leaves: the same tree, the same
// result, failures listed in entry order.
TEST_F(HostileCorpus, SeveralWorkersGiveWhatOneGives) {
    for (const HostileArchive& c : HostileArchives()) {
        const UnpackResult alone = Install(c.bytes, 1);
        const auto aloneTree = InstalledTree(target, Named(alone));
        Clear();
        for (std::uint32_t workers : {2u, 3u, kMaxUnpackWorkers}) {
            SCOPED_TRACE(c.label + " with " + std::to_string(workers) + " workers");
            const UnpackResult r = Install(c.bytes, workers);
            EXPECT_EQ(r.complete, alone.complete);
            EXPECT_EQ(r.openResult, alone.openResult);
            EXPECT_EQ(r.entryCount, alone.entryCount);
            EXPECT_EQ(r.failedEntries, alone.failedEntries);
            EXPECT_EQ(FailureCodes(r), FailureCodes(alone));
            EXPECT_EQ(InstalledTree(target, Named(r)), aloneTree);
            Clear();
        }
    }
}

TEST_F(HostileCorpus, DeflateStreamLongerThanDeclaredWritesNoMore) {
    const HostileArchive c = HostileArchiveNamed("expands-past-declared");
    ASSERT_FALSE(c.label.empty());
    Install(c.bytes);
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

}  // namespace
}  // namespace quarn
