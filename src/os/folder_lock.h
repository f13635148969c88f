// A lock per folder between processes: the launcher holds it while it looks
// at and updates one install folder, so that two launchers of one package
// started together do not unpack into the same folder at once.
//
// Contract: at most one FolderLock holds the lock of a folder at a time,
// across processes and across threads; another Acquire for that folder waits
// until it is released or its wait runs out. The lock is released by
// Release, by the destructor, and by the system when the holding process
// ends, however it ends, so a crashed holder never blocks anyone. Paths that
// name one folder in different spellings (letter case on Windows, a final
// separator, '/' for '\') give one lock. The folder must exist. A lock is
// acquired and released on one thread, and a thread does not acquire a lock
// it already holds (a Win32 mutex would let it through a second time).
//
// Win32: a named mutex in the session's namespace, named after a hash of the
// folder's full path with letters folded to one case (mutex names
// cannot hold '\'). POSIX: flock on the folder itself, so that no lock file
// is left in it.
#pragma once

#include <cstdint>

namespace quarn::os {

class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock() { Release(); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Waits at most waitMilliseconds for the lock of the folder; true once it
    // is held. False when the wait ran out or the lock cannot be made (the
    // folder is missing, or nullptr). A lock held before is released first.
    bool Acquire(const char* folder, std::uint32_t waitMilliseconds);
    void Release();
    bool held() const { return handle_ != kNone; }

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;  // the mutex handle, or the folder's descriptor
};

}  // namespace quarn::os
