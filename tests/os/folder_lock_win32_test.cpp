// The folder lock on Win32: folders differing only in letter case, in any
// script, are one folder there, so they share one lock; a holder that ends without letting
// go (its mutex abandoned) leaves the lock to the next.
#include "os/folder_lock.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <utility>

#include "base/text.h"
#include "folder_lock_helpers.h"
#include "os/folder.h"
#include "support/temp_folder.h"

namespace quarn::os {
namespace {

// The file system folds letter case, in other scripts too: every spelling
// of a folder shares its lock.
TEST(FolderLockWin32, LetterCaseIsOneLock) {
    quarn::testing::TempFolder temp;
    std::string upper = temp.text();
    for (char& c : upper) c = AsciiUpper(c);
    std::string lower = temp.text();
    for (char& c : lower) c = AsciiLower(c);
    const std::string otherLower = temp.text() + "\\données été жёлтый";
    const std::string otherUpper = temp.text() + "\\DONNÉES ÉTÉ ЖЁЛТЫЙ";
    ASSERT_TRUE(MakeFolder(otherLower.c_str()));
    ASSERT_TRUE(FolderExists(otherUpper.c_str()));
    const std::pair<std::string, std::string> spellings[] = {{upper, lower}, {otherLower, otherUpper}};
    for (const auto& [held, other] : spellings) {
        FolderLock lock;
        ASSERT_TRUE(lock.Acquire(held.c_str(), 0)) << held;
        EXPECT_FALSE(AcquireElsewhere(other, 0)) << held << " held, " << other << " got through";
    }
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
