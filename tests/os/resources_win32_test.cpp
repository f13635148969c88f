// The Win32 side: the program's own name and path, and the layout of the
// block that the A version functions fill, which the portable narrow block
// (os/pe/version_block.h) copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "os/fixtures/pe_fixtures.h"
#include "os/pe/pe_file.h"
#include "os/pe/version_block.h"
#include "os/resources.h"
#include "os/win32/windows_api.h"

namespace quarn::os {
namespace {

using quarn::testing::HavePeFixtures;
using quarn::testing::PeFixture;
using quarn::testing::ReadVersionBlock;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
    return text;
}

std::string OwnPath(const char* moduleName) {
    char buffer[1024];
    const std::uint32_t length = ModuleFileName(moduleName, buffer, sizeof buffer);
    return std::string(buffer, length);
}

TEST(Win32LaunchServices, ProgramNameAndPath) {
    const char* name = ProgramName();
    ASSERT_NE(name, nullptr);
    EXPECT_NE(Lower(name).find("os_tests"), std::string::npos) << name;

    const std::string path = OwnPath(nullptr);
    ASSERT_GT(path.size(), 12u);
    EXPECT_EQ(Lower(path.substr(path.size() - 12)), "os_tests.exe") << path;
    // The program's own name names its module; a module that is not loaded
    // stands for the program too.
    EXPECT_EQ(OwnPath(name), path);
    EXPECT_EQ(OwnPath("not-loaded-anywhere.dll"), path);
}

TEST(Win32LaunchServices, ACutPathIsClosed) {
    const std::string path = OwnPath(nullptr);
    ASSERT_FALSE(path.empty());
    for (std::uint32_t size : {1u, 2u, 7u}) {
        SCOPED_TRACE(size);
        char buffer[8];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(ModuleFileName(nullptr, buffer, size), size - 1);
        EXPECT_EQ(std::string(buffer), path.substr(0, size - 1));
    }
    char unused = 'x';
    EXPECT_EQ(ModuleFileName(nullptr, &unused, 0), 0u);
    EXPECT_EQ(unused, 'x');
}

TEST(Win32LaunchServices, TheTestProgramHasNoRcData) {
    ResourceData data;
    EXPECT_FALSE(FindRcData(nullptr, "GAMEID", &data));
}

TEST(Win32LaunchServices, UserLanguage) {
    EXPECT_EQ(UserDefaultLanguage(), GetUserDefaultLangID());
    EXPECT_NE(UserDefaultLanguage(), 0);
}

// The version block is twice the resource and 4 bytes more; a text value is
// handed out as a narrow copy behind the resource, at the same offset from
// there as the UTF-16 text from the block's start.
TEST(Win32LaunchServices, NarrowCopiesLieBehindTheResource) {
    if (!HavePeFixtures()) GTEST_SKIP() << "built without the PE fixtures";
    const std::string file = PeFixture("resources.exe");
    HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
    ASSERT_NE(resource, nullptr);
    const DWORD resourceSize = SizeofResource(module, resource);
    FreeLibrary(module);
    EXPECT_EQ(VersionInfoSize(file.c_str()), resourceSize * 2 + 4);

    const std::vector<std::uint8_t> block = ReadVersionBlock(file);
    ASSERT_FALSE(block.empty());
    const std::uint16_t rootLength = static_cast<std::uint16_t>(block[0] | (block[1] << 8));
    EXPECT_EQ(std::memcmp(block.data() + rootLength, "FE2X", 4), 0);

    const char16_t wide[] = u"2.5.1.340";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(wide);
    const auto at = std::search(block.begin(), block.begin() + rootLength, bytes,
                                bytes + sizeof wide);
    ASSERT_NE(at, block.begin() + rootLength);
    const void* value = nullptr;
    std::uint32_t length = 0;
    ASSERT_TRUE(QueryVersionValue(block.data(), "\\StringFileInfo\\040904B0\\FileVersion", &value,
                                  &length));
    EXPECT_EQ(static_cast<const std::uint8_t*>(value),
              block.data() + rootLength + 4 + (at - block.begin()));
    EXPECT_EQ(length, 10u);
}

// The portable narrow block against the real one: the same size, and every
// query answers at the same offset with the same length and text.
TEST(Win32LaunchServices, ThePortableNarrowBlockMatchesTheAFunctions) {
    if (!HavePeFixtures()) GTEST_SKIP() << "built without the PE fixtures";
    const char* paths[] = {
        "\\",
        "\\VarFileInfo\\Translation",
        "\\StringFileInfo\\040904B0\\FileVersion",
        "\\StringFileInfo\\040704B0\\FileVersion",
        "\\stringfileinfo\\040904b0\\comments",
        "\\StringFileInfo\\040904B0\\Nothing",
    };
    for (const char* fixture : {"resources.exe", "two_languages.exe", "comma_version.exe"}) {
        SCOPED_TRACE(fixture);
        const std::string file = PeFixture(fixture);
        pe::ResourceKey one;
        one.id = 1;
        std::string resource;
        ASSERT_TRUE(pe::ReadPeResource(pe::PeDiskFile(file.c_str()), pe::kResourceTypeVersion,
                                       one, &resource));
        const std::vector<std::uint8_t> real = ReadVersionBlock(file);
        ASSERT_EQ(pe::NarrowBlockSize(resource.size()), real.size());
        std::vector<std::uint8_t> portable(real.size());
        ASSERT_TRUE(pe::FillNarrowBlock(resource, static_cast<std::uint32_t>(portable.size()),
                                        portable.data()));
        for (const char* path : paths) {
            SCOPED_TRACE(path);
            const void* realValue = nullptr;
            const void* portableValue = nullptr;
            std::uint32_t realLength = 0;
            std::uint32_t portableLength = 0;
            const bool found = QueryVersionValue(real.data(), path, &realValue, &realLength);
            ASSERT_EQ(pe::QueryNarrowBlock(portable.data(), path, &portableValue, &portableLength),
                      found);
            if (!found) continue;
            const auto realAt = static_cast<const std::uint8_t*>(realValue) - real.data();
            const auto portableAt =
                static_cast<const std::uint8_t*>(portableValue) - portable.data();
            EXPECT_EQ(portableAt, realAt);
            ASSERT_EQ(portableLength, realLength);
            EXPECT_EQ(std::memcmp(portableValue, realValue, realLength), 0);
        }
    }
}

}  // namespace
}  // namespace quarn::os
