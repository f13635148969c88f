// The plain provider of shipped POSIX programs (os/posix/running_program.h),
// in a test program of its own: the other tests link the launch table. The
// process tells its own name and path; everything Windows keeps elsewhere
// is missing.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "os/resources.h"
#include "os/shell.h"

namespace quarn::os {
namespace {

constexpr const char* kProgram = "plain_program_tests";

TEST(PlainProgram, NameAndPathComeFromTheProcess) {
    const char* name = ProgramName();
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(FileNamePart(name), kProgram);

    char path[1024];
    const std::uint32_t length = ModuleFileName(nullptr, path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(path[0], '/');
    EXPECT_STREQ(FileNamePart(path), kProgram);
    EXPECT_TRUE(PathExistsOnDisk(path));
    // An ELF file has no version resource.
    EXPECT_EQ(VersionInfoSize(path), 0u);
}

TEST(PlainProgram, WhatWindowsKeepsIsMissing) {
    ResourceData data;
    EXPECT_FALSE(FindRcData(nullptr, "GAMEID", &data));
    char buffer[kSpecialFolderSize] = {};
    EXPECT_FALSE(ReadUserRegistryText("Software\\Quarn", "userpath", buffer, 16));
    EXPECT_FALSE(SpecialFolderPath(kFolderApplicationData, buffer));
    EXPECT_FALSE(SpecialFolderPath(kFolderDocuments, buffer));
    EXPECT_EQ(UserDefaultLanguage(), 0);  // LANG_NEUTRAL
    EXPECT_EQ(StartProcess("/bin/true"), 0u);
}

}  // namespace
}  // namespace quarn::os
