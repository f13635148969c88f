// The Win32 side: the program's own name and path, and the version block
// that the seam fills from the W functions, whose answers it must match.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "os/fixtures/pe_fixtures.h"
#include "os/pe/version_block.h"
#include "os/resources.h"
#include "os/system_library.h"
#include "os/win32/windows_api.h"

#include <winver.h>  // left out by WIN32_LEAN_AND_MEAN

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

// The block holds the resource, the signature, then the UTF-8 copies: the
// copy of a text at offset o of the resource lies o * 3 / 2 bytes into that
// room.
TEST(Win32LaunchServices, Utf8CopiesLieBehindTheResource) {
    if (!HavePeFixtures()) GTEST_SKIP() << "built without the PE fixtures";
    const std::string file = PeFixture("resources.exe");
    const std::vector<std::uint8_t> block = ReadVersionBlock(file);
    ASSERT_FALSE(block.empty());
    const std::uint16_t rootLength = static_cast<std::uint16_t>(block[0] | (block[1] << 8));
    EXPECT_EQ(block.size(), pe::Utf8BlockSize(rootLength));
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
              block.data() + rootLength + 4 + (at - block.begin()) / 2 * 3);
    EXPECT_EQ(length, 10u);
}

// The seam's answers against the system's own W functions: the same values
// found, binary ones byte for byte, texts as the UTF-8 form of what
// VerQueryValueW hands out, with the same length in UTF-16 units.
TEST(Win32LaunchServices, TheSeamAnswersAsTheWFunctions) {
    if (!HavePeFixtures()) GTEST_SKIP() << "built without the PE fixtures";
    const auto infoSize = SystemFunctionAs<decltype(&GetFileVersionInfoSizeW)>(
        "version.dll", "GetFileVersionInfoSizeW");
    const auto info =
        SystemFunctionAs<decltype(&GetFileVersionInfoW)>("version.dll", "GetFileVersionInfoW");
    const auto query = SystemFunctionAs<decltype(&VerQueryValueW)>("version.dll", "VerQueryValueW");
    ASSERT_TRUE(infoSize != nullptr && info != nullptr && query != nullptr);
    const struct {
        const char* path;
        bool text;
    } paths[] = {
        {"\\", false},
        {"\\VarFileInfo\\Translation", false},
        {"\\StringFileInfo\\040904B0\\FileVersion", true},
        {"\\StringFileInfo\\040704B0\\FileVersion", true},
        {"\\stringfileinfo\\040904b0\\comments", true},
        {"\\StringFileInfo\\040904B0\\Nothing", true},
    };
    for (const char* fixture : {"resources.exe", "two_languages.exe", "comma_version.exe"}) {
        SCOPED_TRACE(fixture);
        std::wstring file;
        ASSERT_TRUE(win32::ToWide(PeFixture(fixture), &file));
        DWORD ignored = 0;
        std::vector<std::uint8_t> real(infoSize(file.c_str(), &ignored));
        ASSERT_FALSE(real.empty());
        ASSERT_TRUE(info(file.c_str(), 0, static_cast<DWORD>(real.size()), real.data()));
        const std::vector<std::uint8_t> seam = ReadVersionBlock(PeFixture(fixture));
        ASSERT_FALSE(seam.empty());
        for (const auto& p : paths) {
            SCOPED_TRACE(p.path);
            std::wstring widePath;
            ASSERT_TRUE(win32::ToWide(p.path, &widePath));
            void* realValue = nullptr;
            UINT realLength = 0;
            const void* seamValue = nullptr;
            std::uint32_t seamLength = 0;
            const bool found = query(real.data(), widePath.c_str(), &realValue, &realLength) != FALSE;
            ASSERT_EQ(QueryVersionValue(seam.data(), p.path, &seamValue, &seamLength), found);
            if (!found) continue;
            ASSERT_EQ(seamLength, realLength);
            if (!p.text) {
                EXPECT_EQ(std::memcmp(seamValue, realValue, realLength), 0);
                continue;
            }
            const auto* units = static_cast<const wchar_t*>(realValue);
            EXPECT_EQ(std::string(static_cast<const char*>(seamValue)),
                      win32::FromWide(units, std::wcslen(units)));
        }
    }
}
}  // namespace
}  // namespace quarn::os
