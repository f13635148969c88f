// The POSIX side: the launch table, and the PE and version readers on
// damaged input, which must end in "not found" and never read out of bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "os/fixtures/pe_fixtures.h"
#include "os/posix/launch_table.h"
#include "os/posix/pe_file.h"
#include "os/resources.h"
#include "support/temp_folder.h"

namespace quarn::os {
namespace {

using posix::FindPeResource;
using posix::PeMemory;
using posix::PeResource;
using posix::ResourceKeyFromName;
using posix::TestLaunchTable;
using quarn::testing::HavePeFixtures;
using quarn::testing::PeFixture;
using quarn::testing::ReadVersionBlock;
using quarn::testing::ReadWholeFile;
using quarn::testing::TempFolder;
using quarn::testing::WriteWholeFile;

const std::string kGameId("ABCDEFGH\0", 9);

class LaunchTableTest : public ::testing::Test {
protected:
    void SetUp() override { posix::ResetTestLaunchTable(); }
    void TearDown() override { posix::ResetTestLaunchTable(); }
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
        file_ = ReadWholeFile(std::string(QUARN_FIXTURES_DIR) + "/resources.exe");
        ASSERT_GT(file_.size(), 1024u);
    }

    const std::uint8_t* bytes() const {
        return reinterpret_cast<const std::uint8_t*>(file_.data());
    }
    std::uint32_t Get32(std::size_t at) const {
        std::uint32_t v;
        std::memcpy(&v, file_.data() + at, 4);
        return v;
    }
    static void Put32(std::string* file, std::size_t at, std::uint32_t v) {
        std::memcpy(file->data() + at, &v, 4);
    }
    std::size_t OptionalHeader() const { return Get32(0x3C) + 24; }
    std::uint64_t ResourceDirectory() const {
        posix::PeResourceSection section;
        EXPECT_TRUE(posix::FindResourceSection(PeMemory(bytes(), file_.size()), &section));
        return section.fileOffset;
    }
    std::string VersionResource() const {
        posix::ResourceKey one;
        one.id = 1;
        std::string block;
        EXPECT_TRUE(posix::ReadPeResource(PeMemory(bytes(), file_.size()),
                                          posix::kResourceTypeVersion, one, &block));
        return block;
    }

    std::string file_;
};

// Whatever the damage, a resource that is found lies inside the file.
void ExpectInside(const std::string& file, const char* name) {
    SCOPED_TRACE(name);
    const PeMemory memory(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    PeResource found;
    if (FindPeResource(memory, posix::kResourceTypeRcData, ResourceKeyFromName(name), &found)) {
        EXPECT_LE(found.fileOffset + found.size, file.size());
    }
}

TEST_F(PeFixtureTest, EveryCutOfTheFileEitherFailsOrFindsTheWholeResource) {
    const PeMemory whole(bytes(), file_.size());
    PeResource expected;
    ASSERT_TRUE(FindPeResource(whole, posix::kResourceTypeRcData, ResourceKeyFromName("GAMEID"),
                               &expected));
    std::size_t firstFound = 0;
    for (std::size_t size = 0; size <= file_.size(); ++size) {
        PeResource found;
        if (!FindPeResource(PeMemory(bytes(), size), posix::kResourceTypeRcData,
                            ResourceKeyFromName("GAMEID"), &found)) {
            continue;
        }
        if (firstFound == 0) firstFound = size;
        ASSERT_EQ(found.fileOffset, expected.fileOffset) << size;
        ASSERT_EQ(found.size, expected.size) << size;
        ASSERT_LE(found.fileOffset + found.size, size);
    }
    EXPECT_GE(firstFound, expected.fileOffset + expected.size);
}

TEST_F(PeFixtureTest, DamagedHeadersAndDirectoriesFindNothing) {
    const std::size_t optional = OptionalHeader();
    const std::uint64_t root = ResourceDirectory();
    const std::size_t resourceEntry = optional + 112 + 2 * 8;  // PE32+ data directory 2
    const struct {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    } cases[] = {
        {"no MZ", 0, 0x00905A4E},
        {"e_lfanew far outside", 0x3C, 0xFFFFFFF0},
        {"e_lfanew at the end", 0x3C, static_cast<std::uint32_t>(file_.size() - 2)},
        {"no PE signature", Get32(0x3C), 0x00004550 + 1},
        {"unknown optional header", optional, 0x0000010C},
        {"resources beyond every section", resourceEntry, 0x7FFFFF00},
        {"no resources", resourceEntry, 0},
        {"root entry points to itself", root + 16 + 4, 0x80000000},
        {"root entry outside", root + 16 + 4, 0xFFFFFFF0},
        {"root names too many entries", root + 12, 0xFFFFFFFF},
    };
    TempFolder temp;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string damaged = file_;
        Put32(&damaged, c.at, c.value);
        // Both types of the root (RCDATA, VERSION) get the same damage.
        if (c.at == root + 16 + 4) Put32(&damaged, root + 24 + 4, c.value);
        // Through the seam, from disk: a module and a version source.
        const std::string path = (temp / (std::to_string(&c - cases) + ".exe")).string();
        WriteWholeFile(path, damaged);
        ResourceData data;
        EXPECT_FALSE(FindRcData(path.c_str(), "GAMEID", &data));
        EXPECT_EQ(VersionInfoSize(path.c_str()), 0u);
    }
}

TEST_F(PeFixtureTest, TruncatedFilesOnDisk) {
    TempFolder temp;
    for (std::size_t size : {std::size_t{0}, std::size_t{2}, std::size_t{64}, std::size_t{400},
                             file_.size() / 2}) {
        SCOPED_TRACE(size);
        const std::string path = (temp / ("cut" + std::to_string(size) + ".exe")).string();
        WriteWholeFile(path, file_.substr(0, size));
        ResourceData data;
        EXPECT_FALSE(FindRcData(path.c_str(), "GAMEID", &data));
        EXPECT_EQ(VersionInfoSize(path.c_str()), 0u);
    }
}

// Any one word of the resource tree overwritten with a hostile value.
TEST_F(PeFixtureTest, OverwrittenDirectoryWordsStayInsideTheFile) {
    const std::uint64_t root = ResourceDirectory();
    const std::uint64_t end = std::min<std::uint64_t>(root + 0x200, file_.size());
    for (std::uint64_t at = root; at + 4 <= end; at += 4) {
        for (std::uint32_t value : {0u, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0x80000010u}) {
            SCOPED_TRACE(::testing::Message() << "at " << (at - root) << " value " << value);
            std::string damaged = file_;
            Put32(&damaged, at, value);
            for (const char* name : {"GAMEID", "MixedCase", "#7", "EMPTY"}) {
                ExpectInside(damaged, name);
            }
        }
    }
}

TEST_F(PeFixtureTest, ReadsPe32HeadersToo) {
    // PE32 keeps its data directories 16 bytes earlier in the optional header.
    std::string pe32 = file_;
    const std::size_t optional = OptionalHeader();
    const std::uint32_t count = Get32(optional + 108);
    ASSERT_GT(count, 2u);
    pe32[optional] = 0x0B;
    pe32[optional + 1] = 0x01;
    std::memmove(pe32.data() + optional + 92, pe32.data() + optional + 108, 4 + 8 * count);
    const PeMemory memory(reinterpret_cast<const std::uint8_t*>(pe32.data()), pe32.size());
    PeResource found;
    ASSERT_TRUE(FindPeResource(memory, posix::kResourceTypeRcData, ResourceKeyFromName("GAMEID"),
                               &found));
    EXPECT_EQ(pe32.substr(found.fileOffset, found.size), kGameId);
}

TEST_F(PeFixtureTest, VersionBlocksFromTheTable) {
    const std::string resource = VersionResource();
    TestLaunchTable().versionBlocks["C:\\Games\\fake.exe"] = resource;
    EXPECT_EQ(VersionInfoSize("C:\\Games\\fake.exe"), resource.size() * 2 + 4);
    EXPECT_EQ(VersionInfoSize("C:\\Games\\other.exe"), 0u);
    const std::vector<std::uint8_t> block = ReadVersionBlock("C:\\Games\\fake.exe");
    const void* value = nullptr;
    std::uint32_t length = 0;
    ASSERT_TRUE(QueryVersionValue(block.data(), "\\StringFileInfo\\040904B0\\FileVersion", &value,
                                  &length));
    EXPECT_STREQ(static_cast<const char*>(value), "2.5.1.340");
    EXPECT_EQ(length, 10u);
}

// Asks every path of the fixture's block; what is found lies in the block.
void ExpectQueriesInside(const std::vector<std::uint8_t>& block) {
    for (const char* path : {"\\", "\\VarFileInfo\\Translation",
                             "\\StringFileInfo\\040904B0\\FileVersion",
                             "\\StringFileInfo\\040904B0\\Comments"}) {
        const void* value = nullptr;
        std::uint32_t length = 0;
        if (!QueryVersionValue(block.data(), path, &value, &length)) continue;
        const auto* at = static_cast<const std::uint8_t*>(value);
        ASSERT_GE(at, block.data()) << path;
        ASSERT_LE(at + length, block.data() + block.size()) << path;
    }
}

TEST_F(PeFixtureTest, DamagedVersionBlocksStayInside) {
    const std::string resource = VersionResource();
    for (std::size_t at = 0; at + 2 <= resource.size(); at += 2) {
        const std::uint16_t original =
            static_cast<std::uint16_t>(static_cast<std::uint8_t>(resource[at]) |
                                       (static_cast<std::uint8_t>(resource[at + 1]) << 8));
        for (std::uint16_t value : {std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{6},
                                    std::uint16_t{0x7FFF}, std::uint16_t{0xFFFF},
                                    static_cast<std::uint16_t>(original + 4)}) {
            SCOPED_TRACE(::testing::Message() << "at " << at << " value " << value);
            std::string damaged = resource;
            damaged[at] = static_cast<char>(value);
            damaged[at + 1] = static_cast<char>(value >> 8);
            TestLaunchTable().versionBlocks["damaged.exe"] = damaged;
            ExpectQueriesInside(ReadVersionBlock("damaged.exe"));
        }
    }
}

TEST_F(PeFixtureTest, ABlockSmallerThanAskedIsCutToFit) {
    const std::string resource = VersionResource();
    for (std::size_t size : {std::size_t{10}, resource.size() / 2, resource.size(),
                             resource.size() + 4}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> block(size);
        ASSERT_TRUE(VersionInfo(PeFixture("resources.exe").c_str(),
                                static_cast<std::uint32_t>(size), block.data()));
        ExpectQueriesInside(block);
    }
}

}  // namespace
}  // namespace quarn::os
