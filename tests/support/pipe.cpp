#include "support/pipe.h"

namespace quarn::testing {

TestPipe::~TestPipe() {
    closeRead();
    closeWrite();
}

bool TestPipe::put(std::string_view bytes) {
    std::uint32_t written = 0;
    return os::WriteToFile(write_, bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                           &written) &&
           written == bytes.size();
}

void TestPipe::closeRead() {
    if (read_ != os::kInvalidHandle) os::CloseFile(read_);
    read_ = os::kInvalidHandle;
}

void TestPipe::closeWrite() {
    if (write_ != os::kInvalidHandle) os::CloseFile(write_);
    write_ = os::kInvalidHandle;
}

}  // namespace quarn::testing
