// The folder lock's contract, on both sides: one holder at a time across
// threads, a bounded wait, a waiter that gets the lock once it is released,
// and one lock for every spelling of a folder.
#include "os/folder_lock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "folder_lock_helpers.h"
#include "support/temp_folder.h"

namespace quarn::os {
namespace {

namespace fs = std::filesystem;
using quarn::testing::TempFolder;

TEST(FolderLock, OneHolderAtATime) {
    TempFolder temp;
    const std::string folder = temp.text();
    FolderLock lock;
    ASSERT_TRUE(lock.Acquire(folder.c_str(), 0));
    EXPECT_TRUE(lock.held());
    EXPECT_FALSE(AcquireElsewhere(folder, 0));
    EXPECT_FALSE(AcquireElsewhere(folder, 200));  // the bounded wait runs out
    lock.Release();
    EXPECT_FALSE(lock.held());
    EXPECT_TRUE(AcquireElsewhere(folder, 0));
}

TEST(FolderLock, DestructorReleases) {
    TempFolder temp;
    const std::string folder = temp.text();
    {
        FolderLock lock;
        ASSERT_TRUE(lock.Acquire(folder.c_str(), 0));
    }
    EXPECT_TRUE(AcquireElsewhere(folder, 0));
}

TEST(FolderLock, WaiterGetsTheLockWhenItIsReleased) {
    TempFolder temp;
    const std::string folder = temp.text();
    auto lock = std::make_unique<FolderLock>();
    ASSERT_TRUE(lock->Acquire(folder.c_str(), 0));
    auto waiter = std::async(std::launch::async, [&] {
        FolderLock other;
        return other.Acquire(folder.c_str(), 60 * 1000);
    });
    // The waiter is (most likely) waiting by now; it must not have got through.
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    lock.reset();
    EXPECT_TRUE(waiter.get());
}

TEST(FolderLock, EverySpellingOfAFolderIsOneLock) {
    TempFolder temp;
    fs::create_directories(temp / "games" / "abc");
    const std::string base = temp.text();
    const std::string spellings[] = {
        base + "/games/abc",
        base + "/games/abc/",
        base + "\\games\\abc\\",
        base + "/games/./abc",
    };
    for (const std::string& held : spellings) {
        FolderLock lock;
        ASSERT_TRUE(lock.Acquire(held.c_str(), 0)) << held;
        for (const std::string& other : spellings) {
            EXPECT_FALSE(AcquireElsewhere(other, 0)) << held << " held, " << other << " got through";
        }
    }
}

TEST(FolderLock, OtherFoldersAreNotLocked) {
    TempFolder temp;
    const auto [a, b] = TwoFolders(temp);
    FolderLock lock;
    ASSERT_TRUE(lock.Acquire(a.c_str(), 0));
    EXPECT_TRUE(AcquireElsewhere(b, 0));
    EXPECT_TRUE(AcquireElsewhere(temp.text(), 0));  // the parent is another folder
}

TEST(FolderLock, MissingFolderGivesNoLock) {
    TempFolder temp;
    const std::string missing = (temp / "missing").string();
    FolderLock lock;
    EXPECT_FALSE(lock.Acquire(missing.c_str(), 0));
    EXPECT_FALSE(lock.Acquire(nullptr, 0));
    EXPECT_FALSE(lock.held());
}

TEST(FolderLock, AcquireAgainMovesTheLock) {
    TempFolder temp;
    const auto [a, b] = TwoFolders(temp);
    FolderLock lock;
    ASSERT_TRUE(lock.Acquire(a.c_str(), 0));
    ASSERT_TRUE(lock.Acquire(b.c_str(), 0));
    EXPECT_TRUE(AcquireElsewhere(a, 0));
    EXPECT_FALSE(AcquireElsewhere(b, 0));
}

}  // namespace
}  // namespace quarn::os
