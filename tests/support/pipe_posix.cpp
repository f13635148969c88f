#include <gtest/gtest.h>
#include <unistd.h>

#include "support/pipe.h"

namespace quarn::testing {

TestPipe::TestPipe() {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    read_.reset(fds[0]);
    write_.reset(fds[1]);
}

}  // namespace quarn::testing
