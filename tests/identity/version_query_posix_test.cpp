// GetFileBuildNumber over version blocks in the POSIX launch table.
#include "identity/version_query.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "support/launch_table.h"
#include "support/version_block.h"

namespace quarn {
namespace {

using testing::BuildVersionBlock;
using testing::FileVersionBlock;
using testing::TestLaunchTable;
using testing::VersionBlockContent;
using testing::VersionTranslation;

constexpr const char* kOwnPath = "/games/space/launcher.exe";

struct VersionTest : ::testing::Test {
    void SetUp() override {
        testing::ResetTestLaunchTable();
        TestLaunchTable().programName = "launcher.exe";
        TestLaunchTable().modulePath = kOwnPath;
    }
    void Own(const std::string& block) { TestLaunchTable().versionBlocks[kOwnPath] = block; }

    struct Result {
        std::uint32_t build = 0;
        const char* text = "(unset)";
    };
    static Result Query(const char* fileName = nullptr) {
        Result r;
        r.build = GetFileBuildNumber(fileName, &r.text);
        return r;
    }
};

TEST_F(VersionTest, FourthNumberOfFileVersion) {
    struct Case {
        std::string version;
        std::uint32_t build;
    } cases[] = {
        {"2.5.1.340", 340},
        {"1.2.3.65535", 65535},
        {"0.0.0.0", 0},
        {"1, 0, 0, 22", 0},  // the scan stops after the first number
        {"3.1", 0},
        {"7.6.5.4 (beta)", 4},
        {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        Own(FileVersionBlock(c.version));
        const Result r = Query();
        EXPECT_EQ(r.build, c.build);
        ASSERT_NE(r.text, nullptr);
        EXPECT_EQ(std::string(r.text), c.version);
    }
    EXPECT_EQ(GetFileBuildNumber(nullptr, nullptr), 0u);  // the text output is optional
}

TEST_F(VersionTest, NamedFileIsReadInsteadOfTheProgram) {
    Own(FileVersionBlock("1.1.1.1"));
    TestLaunchTable().versionBlocks["other.dll"] = FileVersionBlock("9.9.9.99");
    EXPECT_EQ(Query("other.dll").build, 99u);
    TestLaunchTable().programName.reset();  // not needed for a named file
    EXPECT_EQ(Query("other.dll").build, 99u);
}

// The string table is chosen by the one translation entry: language then
// code page, as upper-case hex. Without exactly one entry the user's
// language with code page 04B0 is asked for.
TEST_F(VersionTest, StringTableFollowsTheTranslation) {
    using Translations = std::vector<VersionTranslation>;
    struct Case {
        const char* what;
        std::optional<Translations> translations;
        std::uint16_t userLanguage;
        std::uint32_t build;  // 0: none found
    } cases[] = {
        {"one entry", Translations{{0x0C0A, 0x04E4}}, 0x0409, 11},
        {"one entry, user language ignored", Translations{{0x0C0A, 0x04E4}}, 0x0407, 11},
        {"two entries, user language found", Translations{{0x0C0A, 0x04E4}, {0x0409, 0x04B0}}, 0x0407, 22},
        {"two entries, user language absent", Translations{{0x0C0A, 0x04E4}, {0x0407, 0x04B0}}, 0x0411, 0},
        {"empty table", Translations{}, 0x0409, 33},
        {"no table", std::nullopt, 0x0407, 22},
        {"one entry without its table", Translations{{0x0411, 0x04B0}}, 0x0409, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VersionBlockContent content;
        content.stringTables = {
            {"0C0A04E4", {{"CompanyName", "x"}, {"FileVersion", "1.0.0.11"}}},
            {"040704B0", {{"FileVersion", "1.0.0.22"}, {"ProductVersion", "5.5.5.5"}}},
            {"040904B0", {{"FileVersion", "1.0.0.33"}}},
            {"040704E4", {{"FileVersion", "1.0.0.44"}}},
        };
        content.translations = c.translations;
        Own(BuildVersionBlock(content));
        TestLaunchTable().userLanguage = c.userLanguage;
        const Result r = Query();
        EXPECT_EQ(r.build, c.build);
        if (c.build == 0) {
            EXPECT_EQ(r.text, nullptr);
        }
    }
}

TEST_F(VersionTest, LongValuesAreCutTo250Characters) {
    // sscanf skips leading spaces, so the cut decides how many numbers remain.
    const std::string cut = std::string(246, ' ') + "9.8.7.65432";      // 257 characters
    const std::string whole = std::string(241, ' ') + "9.8.7.65432";    // 252 characters
    Own(FileVersionBlock(cut));
    Result r = Query();
    EXPECT_EQ(r.build, 0u);
    ASSERT_NE(r.text, nullptr);
    EXPECT_EQ(std::string(r.text), cut.substr(0, 250));

    Own(FileVersionBlock(whole));
    r = Query();
    EXPECT_EQ(r.build, 65432u);
    ASSERT_NE(r.text, nullptr);
    EXPECT_EQ(std::string(r.text), whole);

    Own(FileVersionBlock(std::string(1000, '7')));
    r = Query();
    ASSERT_NE(r.text, nullptr);
    EXPECT_EQ(std::strlen(r.text), 250u);
}

std::string Repeat(const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text;
    return out;
}

// The cut counts bytes of UTF-8 and falls between two characters, so the
// text stays UTF-8 whichever byte the limit lands on.
TEST_F(VersionTest, CutsFallBetweenCharacters) {
    const std::string three = "\xE3\x82\xB2";     // U+30B2
    const std::string four = "\xF0\x9F\x8E\xAE";  // U+1F3AE
    const struct {
        const char* what;
        std::string value;
        std::string kept;
    } cases[] = {
        // 300 units: long, cut to 250 bytes: 83 whole characters (249 bytes).
        {"3-byte characters", Repeat(three, 300), Repeat(three, 83)},
        // 130 pairs are 260 units: long; 62 whole characters are 248 bytes.
        {"surrogate pairs", Repeat(four, 130), Repeat(four, 62)},
        // 100 units are not long, but 300 bytes do not fit the text buffer:
        // 85 whole characters (255 bytes) do.
        {"short in units, long in bytes", Repeat(three, 100), Repeat(three, 85)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Own(FileVersionBlock(c.value));
        const Result r = Query();
        ASSERT_NE(r.text, nullptr);
        EXPECT_EQ(std::string(r.text), c.kept);
    }
}

TEST_F(VersionTest, FailuresGiveZeroAndNoText) {
    struct Case {
        const char* what;
        bool programName;
        std::string block;  // empty: none in the table
        const char* fileName;
    } cases[] = {
        {"no version information", true, "", nullptr},
        {"no program name", false, FileVersionBlock("2.5.1.340"), nullptr},
        {"unknown named file", true, FileVersionBlock("2.5.1.340"), "/no/such/file.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (!c.programName) TestLaunchTable().programName.reset();
        if (!c.block.empty()) Own(c.block);
        const Result r = Query(c.fileName);
        EXPECT_EQ(r.build, 0u);
        EXPECT_EQ(r.text, nullptr);
    }
    VersionBlockContent noFileVersion;
    noFileVersion.stringTables = {{"040904B0", {{"ProductVersion", "1.2.3.4"}}}};
    noFileVersion.translations = std::vector<VersionTranslation>{{0x0409, 0x04B0}};
    Own(BuildVersionBlock(noFileVersion));
    EXPECT_EQ(Query().text, nullptr);
}

}  // namespace
}  // namespace quarn
