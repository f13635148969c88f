// Path and folder helpers: separators, name parts and folder chains.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "launch/paths.h"
#include "support/temp_folder.h"

namespace quarn {
namespace {

using testing::TempFolder;
using testing::WorkingFolderGuard;
namespace fs = std::filesystem;

TEST(Paths, AppendPathSeparator) {
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"", "\\"}, {"C:", "C:\\"}, {"C:\\", "C:\\"}, {"C:/", "C:/"},
        {"D:/Games/", "D:/Games/"}, {"bin", "bin\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        char buffer[16];
        std::strcpy(buffer, c.path);
        EXPECT_TRUE(AppendPathSeparator(buffer, sizeof buffer));
        EXPECT_STREQ(buffer, c.expected);
    }
    EXPECT_TRUE(AppendPathSeparator(nullptr, 0));
}

TEST(Paths, AppendPathSeparatorNeverWritesPastTheBuffer) {
    char buffer[4] = {'a', 'b', 'c', '\0'};
    EXPECT_FALSE(AppendPathSeparator(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "abc");
    char fits[5] = {'a', 'b', 'c', '\0', 'x'};
    EXPECT_TRUE(AppendPathSeparator(fits, sizeof fits));
    EXPECT_STREQ(fits, "abc\\");
}

TEST(Paths, SeparatorSearches) {
    const char* text = "a/b\\c";
    EXPECT_EQ(FindLastSeparator(text), text + 3);
    EXPECT_EQ(FindFirstSeparator(text), text + 1);
    EXPECT_EQ(FindFirstSeparator(text + 1), text + 1);  // a separator at the position itself
    EXPECT_EQ(FindLastSeparator("abc"), nullptr);
    EXPECT_EQ(FindFirstSeparator(""), nullptr);
    EXPECT_EQ(FindLastSeparator(nullptr), nullptr);
    EXPECT_EQ(FindFirstSeparator(nullptr), nullptr);
    EXPECT_TRUE(IsPathSeparator('/'));
    EXPECT_TRUE(IsPathSeparator('\\'));
    EXPECT_FALSE(IsPathSeparator(':'));
}

TEST(Paths, FileNamePart) {
    struct Case {
        const char* text;
        const char* name;
    };
    const Case cases[] = {
        {"C:\\Downloads\\play.exe", "play.exe"},
        {"C:/Downloads/play.exe", "play.exe"},
        {"play.exe", "play.exe"},
        {"C:\\Downloads\\", ""},
        {"C:\\Games/Space Run.exe", "Space Run.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(FileNamePart(c.text), c.name);
    }
    EXPECT_EQ(FileNamePart(nullptr), nullptr);
}

TEST(Paths, ParentPathCopy) {
    struct Case {
        const char* text;
        const char* parent;  // nullptr: none
    };
    const Case cases[] = {
        {"C:\\a\\b\\", "C:\\a\\b"}, {"C:\\a\\b", "C:\\a"}, {"\\x", ""}, {"x", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char* parent = ParentPathCopy(c.text);
        if (c.parent == nullptr) {
            EXPECT_EQ(parent, nullptr);
        } else {
            ASSERT_NE(parent, nullptr);
            EXPECT_STREQ(parent, c.parent);
        }
        std::free(parent);
    }
    EXPECT_EQ(ParentPathCopy(nullptr), nullptr);
}

TEST(Paths, PathExistsForFilesAndFoldersWithOrWithoutTrailingSeparator) {
    TempFolder temp;
    fs::create_directory(temp / "Games");
    testing::WriteWholeFile(temp / "file.txt", "x");
    const std::string base = temp.text(true);
    EXPECT_TRUE(PathExists((base + "Games").c_str()));
    EXPECT_TRUE(PathExists((base + "Games\\").c_str()));
    EXPECT_TRUE(PathExists((base + "Games/").c_str()));
    EXPECT_TRUE(PathExists((base + "file.txt").c_str()));
    EXPECT_FALSE(PathExists((base + "missing").c_str()));
    EXPECT_FALSE(PathExists(""));
    EXPECT_FALSE(PathExists(nullptr));
}

TEST(Paths, CreateFolderPathMakesEveryLevelUpToTheLastSeparator) {
    TempFolder temp;
    const std::string base = temp.text(true);
    EXPECT_TRUE(CreateFolderPath((base + "Games\\bin\\abc\\def\\").c_str()));
    EXPECT_TRUE(fs::is_directory(temp / "Games/bin/abc/def"));

    EXPECT_TRUE(CreateFolderPath((base + "Games\\new\\file.txt").c_str()));
    EXPECT_TRUE(fs::is_directory(temp / "Games/new"));
    EXPECT_FALSE(fs::exists(temp / "Games/new/file.txt"));

    // A doubled separator is harmless.
    EXPECT_TRUE(CreateFolderPath((base + "a\\\\b\\").c_str()));
    EXPECT_TRUE(fs::is_directory(temp / "a/b"));
}

TEST(Paths, CreateFolderPathRelativeAndWithoutSeparator) {
    TempFolder temp;
    WorkingFolderGuard guard;
    fs::current_path(temp.path());
    EXPECT_TRUE(CreateFolderPath("a\\b\\"));
    EXPECT_TRUE(fs::is_directory(temp / "a/b"));
    EXPECT_TRUE(CreateFolderPath("plain"));  // no separator: nothing to make
    EXPECT_FALSE(fs::exists(temp / "plain"));
    EXPECT_TRUE(CreateFolderPath(nullptr));
}

TEST(Paths, CreateFolderPathStopsAtAFileInTheWay) {
    TempFolder temp;
    testing::WriteWholeFile(temp / "blocked", "x");
    const std::string base = temp.text(true);
    EXPECT_FALSE(CreateFolderPath((base + "blocked\\inner\\").c_str()));
    EXPECT_FALSE(fs::exists(temp / "blocked/inner"));
}

}  // namespace
}  // namespace quarn
