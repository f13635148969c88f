// An anonymous pipe for tests of handles that are not disk files.
#pragma once

#include <string_view>

#include "os/file.h"

namespace quarn::testing {

class TestPipe {
public:
    TestPipe();  // fails the test when no pipe can be made

    os::FileHandle readEnd() const { return read_.get(); }
    os::FileHandle writeEnd() const { return write_.get(); }
    bool put(std::string_view bytes);  // the whole text into the write end
    void closeRead() { read_.reset(); }
    void closeWrite() { write_.reset(); }

private:
    os::ScopedFile read_;
    os::ScopedFile write_;
};

}  // namespace quarn::testing
