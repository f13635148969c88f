#include "support/pipe.h"

namespace quarn::testing {

bool TestPipe::put(std::string_view bytes) {
    std::uint32_t written = 0;
    return os::WriteToFile(write_.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                           &written) &&
           written == bytes.size();
}

}  // namespace quarn::testing
