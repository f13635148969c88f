// An anonymous pipe for tests of handles that are not disk files.
#pragma once

#include <string_view>

#include "os/file.h"

namespace quarn::testing {

class TestPipe {
public:
    TestPipe();  // fails the test when no pipe can be made
    ~TestPipe();
    TestPipe(const TestPipe&) = delete;
    TestPipe& operator=(const TestPipe&) = delete;

    os::FileHandle readEnd() const { return read_; }
    os::FileHandle writeEnd() const { return write_; }
    bool put(std::string_view bytes);  // the whole text into the write end
    void closeRead();
    void closeWrite();

private:
    os::FileHandle read_ = os::kInvalidHandle;
    os::FileHandle write_ = os::kInvalidHandle;
};

}  // namespace quarn::testing
