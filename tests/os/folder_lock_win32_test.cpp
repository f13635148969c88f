// The folder lock on Win32: folders differing only in letter case, in any
// script, are one folder there, so they share one lock; a holder that ends without letting
// go (its mutex abandoned) leaves the lock to the next.
#include "os/folder_lock.h"

#include <gtest/gtest.h>

#include <future>
#include <string>

#include "base/text.h"
#include "os/folder.h"
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

// Letters of other scripts have case as well, and the file system folds it.
TEST(FolderLockWin32, LetterCaseOutsideAsciiIsOneLockToo) {
    quarn::testing::TempFolder temp;
    const std::string lower = temp.text() + "\\données été жёлтый";
    const std::string upper = temp.text() + "\\DONNÉES ÉTÉ ЖЁЛТЫЙ";
    ASSERT_TRUE(MakeFolder(lower.c_str()));
    ASSERT_TRUE(FolderExists(upper.c_str()));
    FolderLock lock;
    ASSERT_TRUE(lock.Acquire(lower.c_str(), 0));
    const bool other = std::async(std::launch::async, [&] {
                           FolderLock second;
                           return second.Acquire(upper.c_str(), 0);
                       }).get();
    EXPECT_FALSE(other);
}

TEST(FolderLockWin32, AbandonedLockIsTakenOver) {
    quarn::testing::TempFolder temp;
    const std::string folder = temp.text();
    // The thread ends holding the mutex: the lock object is never destroyed.
    auto* leaked = new FolderLock;
    const bool held = std::async(std::launch::async, [&] {
                          return leaked->Acquire(folder.c_str(), 0);
                      }).get();
    ASSERT_TRUE(held);
    FolderLock lock;
    EXPECT_TRUE(lock.Acquire(folder.c_str(), 1000));
}

}  // namespace
}  // namespace quarn::os
