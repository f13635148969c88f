// The folder lock on Win32: folders differing only in letter case are one
// folder there, so they share one lock.
#include "os/folder_lock.h"

#include <gtest/gtest.h>

#include <future>
#include <string>

#include "base/text.h"
#include "support/temp_folder.h"

namespace quarn::os {
namespace {

TEST(FolderLockWin32, LetterCaseIsOneLock) {
    quarn::testing::TempFolder temp;
    std::string upper = temp.text();
    for (char& c : upper) c = AsciiUpper(c);
    std::string lower = temp.text();
    for (char& c : lower) c = AsciiLower(c);
    FolderLock lock;
    ASSERT_TRUE(lock.Acquire(upper.c_str(), 0));
    const bool other = std::async(std::launch::async, [&] {
                           FolderLock second;
                           return second.Acquire(lower.c_str(), 0);
                       }).get();
    EXPECT_FALSE(other);
}

}  // namespace
}  // namespace quarn::os
