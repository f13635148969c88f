// The identity services against the real Win32 calls: the test program
// itself carries no package resources and no version information.
#include <gtest/gtest.h>

#include <cstdint>

#include "identity/guest_identity.h"
#include "identity/identity_record.h"
#include "identity/version_query.h"

namespace quarn {
namespace {

TEST(IdentityWin32, ProgramWithoutPackageResourcesHasNoIdentity) {
    std::uint32_t size = 77;
    const char* lead = "unset";
    EXPECT_EQ(LoadGameIdentity(nullptr, &lead, &size), nullptr);
    EXPECT_EQ(size, 77u);
    EXPECT_STREQ(lead, "unset");
    EXPECT_EQ(LoadGameIdentity("no-such-module.dll", nullptr, nullptr), nullptr);
    EXPECT_EQ(ReadConfigFile(nullptr, "hub.ini", nullptr), nullptr);
    EXPECT_EQ(GetLaunchIdentity(), nullptr);
}

TEST(IdentityWin32, ProgramWithoutVersionInformationHasBuildZero) {
    const char* text = "unset";
    EXPECT_EQ(GetFileBuildNumber(nullptr, &text), 0u);
    EXPECT_EQ(text, nullptr);
    text = "unset";
    EXPECT_EQ(GetFileBuildNumber("C:\\no\\such\\file.exe", &text), 0u);
    EXPECT_EQ(text, nullptr);
}

}  // namespace
}  // namespace quarn
