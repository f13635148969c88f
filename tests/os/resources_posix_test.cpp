// The POSIX side: the running program's services answered from the launch
// table, and damaged PE files through the seam, which must end in "not
// found". The PE reader itself is tested on both sides (pe_file_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/fixtures/pe_fixtures.h"
#include "os/pe/version_block.h"
#include "os/resources.h"
#include "support/launch_table.h"
#include "support/temp_folder.h"

namespace quarn::os {
namespace {

using quarn::testing::HavePeFixtures;
using quarn::testing::PeFixture;
using quarn::testing::PeImage;
using quarn::testing::ReadVersionBlock;
using quarn::testing::TempFolder;
using quarn::testing::TestLaunchTable;
using quarn::testing::WriteWholeFile;

class LaunchTableTest : public ::testing::Test {
protected:
    void SetUp() override { quarn::testing::ResetTestLaunchTable(); }
    void TearDown() override { quarn::testing::ResetTestLaunchTable(); }
};

TEST_F(LaunchTableTest, OwnResourcesComeFromTheTable) {
    TestLaunchTable().resources = {{"GAMEID", "abc"}, {"Empty", ""}};
    const std::string& stored = TestLaunchTable().resources["GAMEID"];
    ResourceData data;
    ASSERT_TRUE(FindRcData(nullptr, "gameid", &data));
    EXPECT_EQ(data.data, reinterpret_cast<const std::uint8_t*>(stored.data()));
    EXPECT_EQ(data.size, 3u);
    ASSERT_TRUE(FindRcData(nullptr, "EMPTY", &data));
    EXPECT_EQ(data.size, 0u);
    EXPECT_NE(data.data, nullptr);
    EXPECT_FALSE(FindRcData(nullptr, "GAMEDATA", &data));
    EXPECT_FALSE(FindRcData(nullptr, nullptr, &data));
}

TEST_F(LaunchTableTest, ProgramNameAndLanguage) {
    EXPECT_EQ(ProgramName(), nullptr);
    EXPECT_EQ(UserDefaultLanguage(), 0x0409);
    TestLaunchTable().programName = "C:\\Games\\Space Run.exe";
    TestLaunchTable().userLanguage = 0x0407;
    EXPECT_STREQ(ProgramName(), "C:\\Games\\Space Run.exe");
    EXPECT_EQ(UserDefaultLanguage(), 0x0407);
}

TEST_F(LaunchTableTest, ModulePathIsCutLikeGetModuleFileName) {
    TestLaunchTable().modulePath = "C:\\Games\\run.exe";  // 16 characters
    const struct {
        std::uint32_t size;
        std::uint32_t length;
    } cases[] = {{1, 0}, {2, 1}, {16, 15}, {17, 16}, {64, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<char> buffer(c.size, 'x');
        ASSERT_EQ(ModuleFileName(nullptr, buffer.data(), c.size), c.length);
        EXPECT_EQ(std::string(buffer.data()), TestLaunchTable().modulePath.substr(0, c.length));
    }
    char unused = 'x';
    EXPECT_EQ(ModuleFileName(nullptr, &unused, 0), 0u);
    EXPECT_EQ(unused, 'x');
}

class PeFixtureTest : public LaunchTableTest {
protected:
    void SetUp() override {
        if (!HavePeFixtures()) GTEST_SKIP() << "built without the PE fixtures";
        LaunchTableTest::SetUp();
        ASSERT_GT(image_.file().size(), 1024u);
    }

    PeImage image_;
};

TEST_F(PeFixtureTest, DamagedHeadersAndDirectoriesFindNothing) {
    TempFolder temp;
    const auto damages = quarn::testing::HeaderDamages(image_);
    for (std::size_t i = 0; i < damages.size(); ++i) {
        SCOPED_TRACE(damages[i].what);
        // Through the seam, from disk: a module and a version source.
        const std::string path = (temp / (std::to_string(i) + ".exe")).string();
        WriteWholeFile(path, quarn::testing::Damaged(image_, damages[i]));
        ResourceData data;
        EXPECT_FALSE(FindRcData(path.c_str(), "GAMEID", &data));
        EXPECT_EQ(VersionInfoSize(path.c_str()), 0u);
    }
}

TEST_F(PeFixtureTest, TruncatedFilesOnDisk) {
    TempFolder temp;
    const std::string& file = image_.file();
    for (std::size_t size : TruncatedSizes(image_)) {
        SCOPED_TRACE(size);
        const std::string path = (temp / ("cut" + std::to_string(size) + ".exe")).string();
        WriteWholeFile(path, file.substr(0, size));
        ResourceData data;
        EXPECT_FALSE(FindRcData(path.c_str(), "GAMEID", &data));
        EXPECT_EQ(VersionInfoSize(path.c_str()), 0u);
    }
}

TEST_F(PeFixtureTest, VersionBlocksFromTheTable) {
    const std::string resource = image_.VersionResource();
    ASSERT_FALSE(resource.empty());
    TestLaunchTable().versionBlocks["C:\\Games\\fake.exe"] = resource;
    EXPECT_EQ(VersionInfoSize("C:\\Games\\fake.exe"), pe::Utf8BlockSize(resource.size()));
    EXPECT_EQ(VersionInfoSize("C:\\Games\\other.exe"), 0u);
    const std::vector<std::uint8_t> block = ReadVersionBlock("C:\\Games\\fake.exe");
    const void* value = nullptr;
    std::uint32_t length = 0;
    ASSERT_TRUE(QueryVersionValue(block.data(), "\\StringFileInfo\\040904B0\\FileVersion", &value,
                                  &length));
    EXPECT_STREQ(static_cast<const char*>(value), "2.5.1.340");
    EXPECT_EQ(length, 10u);
}

// The table's block wins over a file of the same name on disk.
TEST_F(PeFixtureTest, TheTableComesBeforeTheFile) {
    const std::string fixture = PeFixture("resources.exe");
    ASSERT_NE(VersionInfoSize(fixture.c_str()), 0u);
    TestLaunchTable().versionBlocks[fixture] = "";
    EXPECT_EQ(VersionInfoSize(fixture.c_str()), 0u);
}

}  // namespace
}  // namespace quarn::os
