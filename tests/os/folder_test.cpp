// Folders and the working directory.
#include "os/folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace quarn::os {
namespace {

namespace fs = std::filesystem;
using quarn::testing::TempFolder;
using quarn::testing::WorkingFolderGuard;
using quarn::testing::WriteWholeFile;

TEST(Folder, MakeCreatesOneLevelOnly) {
    TempFolder temp;
    const std::string a = (temp / "a").string();
    const std::string ab = (temp / "a" / "b").string();
    const std::string xy = (temp / "x" / "y").string();
    EXPECT_FALSE(FolderExists(a.c_str()));
    EXPECT_TRUE(MakeFolder(a.c_str()));
    EXPECT_TRUE(FolderExists(a.c_str()));
    EXPECT_TRUE(MakeFolder(ab.c_str()));
    EXPECT_TRUE(fs::is_directory(ab));
    EXPECT_FALSE(MakeFolder(xy.c_str()));  // the parent is missing
    EXPECT_FALSE(fs::exists(temp / "x"));
}

TEST(Folder, MakeFailsWhenTheNameIsTaken) {
    TempFolder temp;
    const std::string folder = (temp / "f").string();
    const std::string file = (temp / "file.txt").string();
    ASSERT_TRUE(MakeFolder(folder.c_str()));
    EXPECT_FALSE(MakeFolder(folder.c_str()));
    WriteWholeFile(file, "x");
    EXPECT_FALSE(MakeFolder(file.c_str()));
    EXPECT_TRUE(fs::is_regular_file(file));
}

TEST(Folder, ExistsOnlyForFolders) {
    TempFolder temp;
    WriteWholeFile(temp / "file.txt", "x");
    struct Case {
        std::string path;
        bool exists;
    };
    const Case cases[] = {
        {temp.text(), true},
        {temp.text(true), true},
        {(temp / "file.txt").string(), false},
        {(temp / "missing").string(), false},
        {(temp / "missing" / "deeper").string(), false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FolderExists(c.path.c_str()), c.exists);
    }
}

TEST(Folder, ChangeAndCurrentAgree) {
    TempFolder temp;
    WorkingFolderGuard guard;
    const std::string sub = (temp / "sub").string();
    ASSERT_TRUE(MakeFolder(sub.c_str()));
    ASSERT_TRUE(ChangeFolder(sub.c_str()));
    char buffer[1024];
    ASSERT_TRUE(GetCurrentFolder(buffer, sizeof buffer));
    EXPECT_TRUE(fs::equivalent(buffer, sub)) << buffer;
    // Relative paths now start from there.
    ASSERT_TRUE(MakeFolder("inner"));
    EXPECT_TRUE(fs::is_directory(temp / "sub" / "inner"));
    EXPECT_TRUE(ChangeFolder(".."));
    ASSERT_TRUE(GetCurrentFolder(buffer, sizeof buffer));
    EXPECT_TRUE(fs::equivalent(buffer, temp.path())) << buffer;
}

TEST(Folder, ChangeToAMissingFolderOrAFileFailsAndStays) {
    TempFolder temp;
    WorkingFolderGuard guard;
    WriteWholeFile(temp / "file.txt", "x");
    ASSERT_TRUE(ChangeFolder(temp.text().c_str()));
    EXPECT_FALSE(ChangeFolder((temp / "missing").string().c_str()));
    EXPECT_FALSE(ChangeFolder((temp / "file.txt").string().c_str()));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), temp.path()));
}

TEST(Folder, CurrentNeedsRoomForTheTextAndItsNul) {
    TempFolder temp;
    WorkingFolderGuard guard;
    ASSERT_TRUE(ChangeFolder(temp.text().c_str()));
    char full[1024];
    ASSERT_TRUE(GetCurrentFolder(full, sizeof full));
    const auto length = static_cast<std::uint32_t>(std::string(full).size());
    ASSERT_GT(length, 3u);

    struct Case {
        std::uint32_t size;
        bool fits;
    };
    const Case cases[] = {{length + 1, true}, {length + 50, true}, {length, false},
                          {length - 1, false}, {1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<char> buffer(c.size + 1, 'Z');  // one guard byte past the size
        EXPECT_EQ(GetCurrentFolder(buffer.data(), c.size), c.fits);
        EXPECT_STREQ(buffer.data(), c.fits ? full : "");
        EXPECT_EQ(buffer[c.size], 'Z');
    }
    EXPECT_FALSE(GetCurrentFolder(nullptr, 0));
}

}  // namespace
}  // namespace quarn::os
