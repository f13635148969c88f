// Resources and version information of the PE fixtures, looked up by file
// name. The same expectations hold for the POSIX reader and for Windows.
#include "os/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "os/fixtures/pe_fixtures.h"
#include "support/temp_folder.h"

namespace quarn::os {
namespace {

using quarn::testing::HavePeFixtures;
using quarn::testing::PeFixture;
using quarn::testing::ReadVersionBlock;

std::string Bytes(const ResourceData& data) {
    return std::string(reinterpret_cast<const char*>(data.data), data.size);
}

class Resources : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HavePeFixtures()) GTEST_SKIP() << "built without the PE fixtures";
    }
};

TEST_F(Resources, FindsRcDataOfANamedModule) {
    const std::string gameData =
        quarn::testing::ReadWholeFile(std::string(QUARN_FIXTURES_DIR) + "/gamedata.txt");
    ASSERT_FALSE(gameData.empty());
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"GAMEDATA", gameData},
        {"GAMEID", std::string("ABCDEFGH\0", 9)},
        {"gameid", std::string("ABCDEFGH\0", 9)},
        // Written as MixedCase in the script, kept upper-case in the file.
        {"MixedCase", "mixed"},
        {"mixedcase", "mixed"},
        {"MIXEDCASE", "mixed"},
        {"#7", "seven"},
        {"EMPTY", ""},
    };
    const std::string module = PeFixture("resources.exe");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResourceData data;
        ASSERT_TRUE(FindRcData(module.c_str(), c.name, &data));
        EXPECT_NE(data.data, nullptr);
        EXPECT_EQ(Bytes(data), c.bytes);
    }
}

TEST_F(Resources, MissingModuleOrResourceIsNotFound) {
    const struct {
        const char* module;
        const char* name;
    } cases[] = {
        {"resources.exe", "NOPE"},      {"resources.exe", "MIXED"},
        {"resources.exe", "MixedCaseX"}, {"resources.exe", "#8"},
        {"resources.exe", "#seven"},     {"resources.exe", "#0"},
        {"resources.exe", "#65543"},     {"resources.exe", ""},
        {"plain.exe", "GAMEID"},
        {"missing.exe", "GAMEID"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.module) + " " + c.name);
        ResourceData data;
        EXPECT_FALSE(FindRcData(PeFixture(c.module).c_str(), c.name, &data));
    }
}

TEST_F(Resources, ANamedModuleStaysLoaded) {
    const std::string module = PeFixture("resources.exe");
    ResourceData first;
    ResourceData second;
    ASSERT_TRUE(FindRcData(module.c_str(), "GAMEID", &first));
    ASSERT_TRUE(FindRcData(module.c_str(), "GAMEID", &second));
    EXPECT_EQ(first.data, second.data);
    EXPECT_EQ(Bytes(first), std::string("ABCDEFGH\0", 9));
}

TEST_F(Resources, VersionTextsByPath) {
    const struct {
        const char* file;
        const char* path;
        const char* text;
    } cases[] = {
        {"resources.exe", "\\StringFileInfo\\040904B0\\FileVersion", "2.5.1.340"},
        {"resources.exe", "\\stringfileinfo\\040904b0\\fileversion", "2.5.1.340"},
        {"resources.exe", "StringFileInfo\\\\040904B0\\FileVersion\\", "2.5.1.340"},
        // Texts come out as UTF-8, whatever their script.
        {"resources.exe", "\\StringFileInfo\\040904B0\\Comments", "Caf\xC3\xA9 \xE4\xB8\xAD"},
        {"two_languages.exe", "\\StringFileInfo\\040904B0\\FileVersion", "3.0.0.7"},
        {"two_languages.exe", "\\StringFileInfo\\040704B0\\FileVersion", "3.0.0.8"},
        {"comma_version.exe", "\\StringFileInfo\\040904B0\\FileVersion", "1, 0, 0, 22"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.path);
        const std::vector<std::uint8_t> block = ReadVersionBlock(PeFixture(c.file));
        ASSERT_FALSE(block.empty());
        const void* value = nullptr;
        std::uint32_t length = 0;
        ASSERT_TRUE(QueryVersionValue(block.data(), c.path, &value, &length));
        const auto* text = static_cast<const char*>(value);
        ASSERT_GE(text, reinterpret_cast<const char*>(block.data()));
        ASSERT_LT(text + length, reinterpret_cast<const char*>(block.data() + block.size()));
        EXPECT_STREQ(text, c.text);
        // As VerQueryValueW reports it: the UTF-16 units with the NUL.
        std::u16string units;
        ASSERT_TRUE(AppendUtf16(c.text, units));
        EXPECT_EQ(length, units.size() + 1);
    }
}

TEST_F(Resources, TranslationTables) {
    const struct {
        const char* file;
        std::vector<std::uint32_t> entries;  // language low, code page high
    } cases[] = {
        {"resources.exe", {0x04B00409}},
        {"two_languages.exe", {0x04B00409, 0x04B00407}},
        {"comma_version.exe", {0x04B00409}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<std::uint8_t> block = ReadVersionBlock(PeFixture(c.file));
        ASSERT_FALSE(block.empty());
        const void* value = nullptr;
        std::uint32_t length = 0;
        ASSERT_TRUE(QueryVersionValue(block.data(), "\\VarFileInfo\\Translation", &value, &length));
        ASSERT_EQ(length, 4 * c.entries.size());
        std::vector<std::uint32_t> entries(c.entries.size());
        std::memcpy(entries.data(), value, length);
        EXPECT_EQ(entries, c.entries);
    }
}

TEST_F(Resources, FixedFileInfoAtTheRoot) {
    const std::vector<std::uint8_t> block = ReadVersionBlock(PeFixture("resources.exe"));
    ASSERT_FALSE(block.empty());
    const void* value = nullptr;
    std::uint32_t length = 0;
    ASSERT_TRUE(QueryVersionValue(block.data(), "\\", &value, &length));
    ASSERT_EQ(length, 52u);  // VS_FIXEDFILEINFO
    std::uint32_t fields[13];
    std::memcpy(fields, value, sizeof fields);
    EXPECT_EQ(fields[0], 0xFEEF04BDu);  // signature
    EXPECT_EQ(fields[2], 0x00020005u);  // file version 2.5
    EXPECT_EQ(fields[3], 0x00010154u);  // .1.340
    EXPECT_EQ(fields[4], 0x00020005u);  // product version 2.5
    EXPECT_EQ(fields[5], 0x00000000u);  // .0.0
}

TEST_F(Resources, MissingVersionPaths) {
    const std::vector<std::uint8_t> block = ReadVersionBlock(PeFixture("resources.exe"));
    ASSERT_FALSE(block.empty());
    for (const char* path : {
             "\\StringFileInfo\\040904B0\\ProductName",
             "\\StringFileInfo\\040704B0\\FileVersion",
             "\\StringFileInfo\\040904B\\FileVersion",
             "\\StringFileInfo\\040904B0\\FileVersion\\More",
             "\\VarFileInfo\\Translations",
             "\\Nothing",
         }) {
        SCOPED_TRACE(path);
        const void* value = nullptr;
        std::uint32_t length = 99;
        EXPECT_FALSE(QueryVersionValue(block.data(), path, &value, &length));
        EXPECT_EQ(length, 0u);
    }
}

TEST_F(Resources, FilesWithoutVersionInformation) {
    for (const std::string& file : {PeFixture("plain.exe"), PeFixture("missing.exe")}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(VersionInfoSize(file.c_str()), 0u);
        std::vector<std::uint8_t> block(1024);
        EXPECT_FALSE(VersionInfo(file.c_str(), static_cast<std::uint32_t>(block.size()),
                                 block.data()));
    }
}

}  // namespace
}  // namespace quarn::os
