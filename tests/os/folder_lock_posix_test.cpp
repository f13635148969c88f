// The folder lock on POSIX: a holder that ends without letting go, as a
// crashed launcher does, leaves the lock free.
#include "os/folder_lock.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_folder.h"

namespace quarn::os {
namespace {

TEST(FolderLockPosix, EndedHolderLeavesItFree) {
    quarn::testing::TempFolder temp;
    const std::string folder = temp.text();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        FolderLock lock;
        const char held = lock.Acquire(folder.c_str(), 0) ? 'y' : 'n';
        (void)!write(ready[1], &held, 1);
        pause();  // until killed, the lock never released by the program
        _exit(0);
    }
    close(ready[1]);
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    close(ready[0]);
    ASSERT_EQ(held, 'y');
    FolderLock lock;
    EXPECT_FALSE(lock.Acquire(folder.c_str(), 0));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(lock.Acquire(folder.c_str(), 0));
}

}  // namespace
}  // namespace quarn::os
