// The folder lock on POSIX: flock on a descriptor of the folder itself. Each
// Acquire opens the folder anew, so two locks in one process exclude each
// other as two processes do.
#include "os/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "native_path.h"

namespace quarn::os {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);

bool TryLock(int descriptor) {
    while (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace

bool FolderLock::Acquire(const char* folder, std::uint32_t waitMilliseconds) {
    Release();
    if (folder == nullptr) return false;
    const int descriptor =
        open(posix::NativePath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    for (;;) {
        if (TryLock(descriptor)) {
            handle_ = descriptor;
            return true;
        }
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(kPollInterval);
    }
    close(descriptor);
    return false;
}

void FolderLock::Release() {
    if (handle_ == kNone) return;
    // Closing the only descriptor of this open file releases the lock.
    close(static_cast<int>(handle_));
    handle_ = kNone;
}

}  // namespace quarn::os
