#include <gtest/gtest.h>

#include "name_case_cases.h"
#include "os/name_case.h"

namespace quarn::os {
namespace {

// POSIX file systems tell such names apart.
TEST(UpperCaseName, LeavesOtherScriptsOnPosix) {
    EXPECT_NE(UpperCaseName(kLowerOtherScripts), UpperCaseName(kUpperOtherScripts));
}

}  // namespace
}  // namespace quarn::os
