// File handles on POSIX: the handle is the file descriptor.
#include "os/file.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "native_path.h"

namespace quarn::os {

namespace {

int Fd(FileHandle handle) { return static_cast<int>(handle); }

bool ValidFd(FileHandle handle) { return handle >= 0 && handle <= INT32_MAX; }

bool IsRegular(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Repeats one system transfer (read, write, pread) of the bytes still to
// move, given how many have moved, until all count have, it reports the end
// (0), or moreMayCome says a short transfer is all there is. EINTR repeats
// it; a failure after some bytes ends it short, one before any fails the
// call. *moved gets the bytes moved.
template <class Step, class MoreMayCome>
bool TransferAll(std::uint32_t count, std::uint32_t* moved, Step step, MoreMayCome moreMayCome) {
    std::uint32_t total = 0;
    while (total < count) {
        const ssize_t n = step(total);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (total > 0) break;  // report what came; the next call fails again
            return false;
        }
        if (n == 0) break;
        total += static_cast<std::uint32_t>(n);
        if (total < count && !moreMayCome()) break;
    }
    *moved = total;
    return true;
}

template <class Step>
bool TransferAll(std::uint32_t count, std::uint32_t* moved, Step step) {
    return TransferAll(count, moved, step, [] { return true; });
}

timespec ToTimespec(const FileTime& time) {
    // A zero time leaves that time as it is, as on Windows.
    if (time.low == 0 && time.high == 0) return {0, UTIME_OMIT};
    std::uint64_t ticks = (static_cast<std::uint64_t>(time.high) << 32) | time.low;
    // Ticks beyond INT64_MAX are no sensible date; clamp rather than wrap.
    if (ticks > static_cast<std::uint64_t>(INT64_MAX)) ticks = INT64_MAX;
    std::int64_t sinceUnix = static_cast<std::int64_t>(ticks) - kUnixEpochInFileTimeTicks;
    std::int64_t seconds = sinceUnix / kFileTimeTicksPerSecond;
    std::int64_t rest = sinceUnix % kFileTimeTicksPerSecond;
    if (rest < 0) {
        rest += kFileTimeTicksPerSecond;
        --seconds;
    }
    return {static_cast<time_t>(seconds), static_cast<long>(rest * 100)};
}

}  // namespace

FileHandle DuplicateFileHandle(FileHandle handle) {
    if (!ValidFd(handle)) return kInvalidHandle;
    int copy = fcntl(Fd(handle), F_DUPFD_CLOEXEC, 0);
    return copy < 0 ? kInvalidHandle : copy;
}

FileHandle OpenForReading(const char* name) {
    if (name == nullptr) return kInvalidHandle;
    int fd;
    do {
        fd = open(posix::NativePath(name).c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? kInvalidHandle : fd;
}

bool ReadFromFile(FileHandle handle, void* buffer, std::uint32_t count, std::uint32_t* done) {
    *done = 0;
    if (!ValidFd(handle)) return false;
    auto* bytes = static_cast<unsigned char*>(buffer);
    bool regular = false;  // looked up only after a short read
    // A disk file read delivers all it has, as on Windows; a pipe read
    // delivers what is there now and must not wait for more.
    const auto moreMayCome = [&] { return regular || (regular = IsRegular(Fd(handle))); };
    return TransferAll(
        count, done, [&](std::uint32_t total) { return read(Fd(handle), bytes + total, count - total); },
        moreMayCome);
}

std::uint32_t SeekFile(FileHandle handle, std::int32_t distance, SeekOrigin origin) {
    int whence;
    switch (origin) {
        case SeekBegin: whence = SEEK_SET; break;
        case SeekCurrent: whence = SEEK_CUR; break;
        case SeekEnd: whence = SEEK_END; break;
        default: return kSeekFailed;
    }
    if (!ValidFd(handle)) return kSeekFailed;
    off_t position = lseek(Fd(handle), distance, whence);
    if (position < 0) return kSeekFailed;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(position));
}

bool IsDiskFile(FileHandle handle) { return ValidFd(handle) && IsRegular(Fd(handle)); }

FileHandle CreateFileWithAttributes(const char* name, std::uint32_t attributes) {
    if (name == nullptr) return kInvalidHandle;
    std::string path = posix::NativePath(name);
    // Windows refuses to overwrite a read-only file or a folder. Check the
    // mode ourselves: open() ignores it for a privileged user.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return kInvalidHandle;
        }
        if ((st.st_mode & S_IWUSR) == 0) {
            errno = EACCES;
            return kInvalidHandle;
        }
    }
    bool readOnly = (attributes & kAttrReadOnly) != 0;
    int fd;
    do {
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, readOnly ? 0444 : 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return kInvalidHandle;
    // An overwritten file takes the new attributes too, as with CREATE_ALWAYS.
    if (readOnly && fstat(fd, &st) == 0 && (st.st_mode & 0222) != 0) {
        fchmod(fd, st.st_mode & 07555);
    }
    return fd;
}

bool WriteToFile(FileHandle handle, const void* data, std::uint32_t count, std::uint32_t* written) {
    *written = 0;
    if (!ValidFd(handle)) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    // write() may stop early for large counts; callers take success as complete.
    return TransferAll(count, written,
                       [&](std::uint32_t total) { return write(Fd(handle), bytes + total, count - total); });
}

bool SetFileTimes(FileHandle handle, const FileTime& /*creation: POSIX keeps none*/,
                  const FileTime& access, const FileTime& write) {
    if (!ValidFd(handle)) return false;
    const timespec times[2] = {ToTimespec(access), ToTimespec(write)};
    return futimens(Fd(handle), times) == 0;
}

void CloseFile(FileHandle handle) {
    // Not retried on EINTR: on Linux the descriptor is gone either way.
    if (ValidFd(handle)) close(Fd(handle));
}

bool DiskFileSize(FileHandle handle, std::uint64_t* size) {
    struct stat st {};
    if (!ValidFd(handle) || fstat(Fd(handle), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        return false;
    }
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool ReadFileAt(FileHandle handle, std::uint64_t offset, void* buffer, std::uint32_t count,
                std::uint32_t* done) {
    *done = 0;
    if (!ValidFd(handle)) return false;
    auto* bytes = static_cast<unsigned char*>(buffer);
    // pread() may stop early; a disk file read delivers all it has, as on Windows.
    return TransferAll(count, done, [&](std::uint32_t total) -> ssize_t {
        const std::uint64_t at = offset + total;
        if (at > static_cast<std::uint64_t>(INT64_MAX)) return 0;  // past any file's end
        return pread(Fd(handle), bytes + total, count - total, static_cast<off_t>(at));
    });
}

}  // namespace quarn::os
