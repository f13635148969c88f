#include "os/name_case.h"

#include <gtest/gtest.h>

#include "name_case_cases.h"

namespace quarn::os {
namespace {

TEST(UpperCaseName, FoldsAsciiAndPassesOtherBytes) {
    EXPECT_EQ(UpperCaseName("data/Maps/a.txt"), "DATA/MAPS/A.TXT");
    EXPECT_EQ(UpperCaseName(""), "");
    EXPECT_EQ(UpperCaseName("caf\xE9.txt"), "CAF\xE9.TXT");  // not UTF-8
    EXPECT_EQ(UpperCaseName(kUpperOtherScripts), kUpperOtherScripts);
}

}  // namespace
}  // namespace quarn::os
