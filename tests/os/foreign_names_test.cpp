// Names outside ASCII through the seam's files and folders: the UTF-8 text
// that goes in is the one that comes back, and limits count its bytes.
// Natively the bytes pass as they are; under Wine they cross the Win32 seam
// as UTF-16 (foreign_names_win32_test.cpp checks what the system holds).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "os/file.h"
#include "os/folder.h"
#include "os/foreign_names.h"
#include "os/shell.h"
#include "support/temp_folder.h"

namespace quarn::os {
namespace {

using quarn::testing::kForeignNames;
using quarn::testing::TempFolder;
using quarn::testing::WorkingFolderGuard;

std::string ReadThrough(FileHandle handle) {
    const ScopedFile file(handle);
    std::string text;
    char buffer[64];
    std::uint32_t got = 0;
    while (file.valid() && ReadFromFile(file.get(), buffer, sizeof buffer, &got) && got > 0) {
        text.append(buffer, got);
    }
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(ForeignNames, FilesAndFoldersKeepTheirNames) {
    TempFolder temp;
    WorkingFolderGuard guard;
    for (const auto& name : kForeignNames) {
        SCOPED_TRACE(name.what);
        const std::string folder = temp.text() + "\\" + name.folder;
        const std::string file = folder + "\\" + name.file;
        const std::string contents = std::string("written as ") + name.file;

        ASSERT_TRUE(MakeFolder(folder.c_str()));
        EXPECT_TRUE(FolderExists(folder.c_str()));
        EXPECT_FALSE(MakeFolder(folder.c_str()));
        {
            const ScopedFile out(CreateFileWithAttributes(file.c_str(), kAttrNormal));
            ASSERT_TRUE(out.valid());
            std::uint32_t written = 0;
            ASSERT_TRUE(WriteToFile(out.get(), contents.data(),
                                    static_cast<std::uint32_t>(contents.size()), &written));
            ASSERT_EQ(written, contents.size());
        }
        EXPECT_TRUE(PathExistsOnDisk(file.c_str()));
        EXPECT_FALSE(FolderExists(file.c_str()));
        EXPECT_EQ(ReadThrough(OpenForReading(file.c_str())), contents);

        // The working folder comes back as the same UTF-8 text, and relative
        // names start from it.
        ASSERT_TRUE(ChangeFolder(folder.c_str()));
        char current[1024];
        ASSERT_TRUE(GetCurrentFolder(current, sizeof current));
        EXPECT_TRUE(EndsWith(current, name.folder)) << current;
        std::FILE* text = OpenTextFile(name.file, "rb");
        ASSERT_NE(text, nullptr);
        char line[128] = {};
        EXPECT_NE(std::fgets(line, sizeof line, text), nullptr);
        std::fclose(text);
        EXPECT_EQ(std::string(line), contents);
        ASSERT_TRUE(ChangeFolder(temp.text().c_str()));
    }
}

// The room GetCurrentFolder needs is the UTF-8 text's bytes and its NUL,
// however few characters they make.
TEST(ForeignNames, TheCurrentFolderNeedsItsBytesOfRoom) {
    TempFolder temp;
    WorkingFolderGuard guard;
    const std::string folder = temp.text() + "\\" + kForeignNames[1].folder;
    ASSERT_TRUE(MakeFolder(folder.c_str()));
    ASSERT_TRUE(ChangeFolder(folder.c_str()));
    char full[1024];
    ASSERT_TRUE(GetCurrentFolder(full, sizeof full));
    const auto bytes = static_cast<std::uint32_t>(std::strlen(full));
    std::vector<char> buffer(bytes + 1, 'Z');
    EXPECT_TRUE(GetCurrentFolder(buffer.data(), bytes + 1));
    EXPECT_STREQ(buffer.data(), full);
    EXPECT_FALSE(GetCurrentFolder(buffer.data(), bytes));
    EXPECT_STREQ(buffer.data(), "");
}

}  // namespace
}  // namespace quarn::os
