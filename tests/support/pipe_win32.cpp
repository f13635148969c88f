#include <gtest/gtest.h>
#include <windows.h>

#include "support/pipe.h"

namespace quarn::testing {

TestPipe::TestPipe() {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    read_.reset(reinterpret_cast<os::FileHandle>(readEnd));
    write_.reset(reinterpret_cast<os::FileHandle>(writeEnd));
}

}  // namespace quarn::testing
