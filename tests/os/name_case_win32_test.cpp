#include <gtest/gtest.h>

#include "name_case_cases.h"
#include "os/name_case.h"

namespace quarn::os {
namespace {

// NTFS takes such names for one file.
TEST(UpperCaseName, FoldsEveryScriptOnWindows) {
    EXPECT_EQ(UpperCaseName(kLowerOtherScripts), UpperCaseName(kUpperOtherScripts));
    EXPECT_EQ(UpperCaseName(kLowerOtherScripts), kUpperOtherScripts);
}

}  // namespace
}  // namespace quarn::os
