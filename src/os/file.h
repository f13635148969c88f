// File handles: the operating-system seam for reading archives and writing
// extracted files.
//
// A FileHandle is a Win32 HANDLE on Windows and a file descriptor on POSIX;
// kInvalidHandle (-1) is INVALID_HANDLE_VALUE there and "no descriptor" here.
// Attributes are Windows file attribute flags; the POSIX side maps read-only
// to a mode without write bits and ignores the rest. Paths are UTF-8 texts;
// on POSIX every '\' is taken as '/'.
#pragma once

#include <cstdint>

#include "base/unique_value.h"

namespace quarn::os {

using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidHandle = -1;

// Windows file attribute flags, as stored in ZipEntry::attributes.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;

// 100-nanosecond intervals since 1601-01-01, UTC (the layout of FILETIME).
struct FileTime {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    friend bool operator==(const FileTime&, const FileTime&) = default;
};

inline constexpr std::int64_t kFileTimeTicksPerSecond = 10000000;
// Seconds from 1601-01-01, where FileTime counts from, to 1970-01-01.
inline constexpr std::int64_t kUnixEpochInFileTimeSeconds = 11644473600;
inline constexpr std::int64_t kUnixEpochInFileTimeTicks =
    kUnixEpochInFileTimeSeconds * kFileTimeTicksPerSecond;

// FileTime ticks of a time given in seconds since 1970-01-01, UTC.
constexpr std::uint64_t FileTimeTicksFromUnix(std::int64_t seconds) {
    return static_cast<std::uint64_t>((seconds + kUnixEpochInFileTimeSeconds) *
                                      kFileTimeTicksPerSecond);
}

// The value that SeekFile gives when the system refuses the move.
inline constexpr std::uint32_t kSeekFailed = 0xFFFFFFFF;

enum SeekOrigin : int { SeekBegin = 0, SeekCurrent = 1, SeekEnd = 2 };

// An independent duplicate with the same access; kInvalidHandle on failure,
// also when given kInvalidHandle (on Win32 that is the own-process handle).
FileHandle DuplicateFileHandle(FileHandle handle);

// Opens an existing file for reading, others may read too.
FileHandle OpenForReading(const char* name);

// One system read. False when the system reports a failure; *done gets the
// bytes read (0 at the end of the data).
bool ReadFromFile(FileHandle handle, void* buffer, std::uint32_t count, std::uint32_t* done);

// Moves the file position by a 32-bit distance; gives the new position's low
// 32 bits, or kSeekFailed when the system refuses.
std::uint32_t SeekFile(FileHandle handle, std::int32_t distance, SeekOrigin origin);

// True for a file on disk (Win32 FILE_TYPE_DISK, POSIX regular file); false
// for pipes, consoles, sockets and invalid handles.
bool IsDiskFile(FileHandle handle);

// Creates or truncates a file for writing with no sharing and the given
// attributes. Like CREATE_ALWAYS, it fails on an existing read-only file.
FileHandle CreateFileWithAttributes(const char* name, std::uint32_t attributes);

// One system write. False on failure; *written gets the bytes written, which
// may be fewer than asked.
bool WriteToFile(FileHandle handle, const void* data, std::uint32_t count, std::uint32_t* written);

// Sets creation (where the system keeps one), access and write times. A
// zero time leaves that time as it is.
bool SetFileTimes(FileHandle handle, const FileTime& creation, const FileTime& access,
                  const FileTime& write);

void CloseFile(FileHandle handle);

// The size of a file on disk; false for pipes, consoles, folders and invalid
// handles.
bool DiskFileSize(FileHandle handle, std::uint64_t* size);

// Reads up to count bytes at a 64-bit offset, whatever the file position;
// the position afterwards is unspecified (Win32 moves it, POSIX does not).
// *done is short of count only at the end of the file, and 0 at or past it.
// False when the system reports a failure.
bool ReadFileAt(FileHandle handle, std::uint64_t offset, void* buffer, std::uint32_t count,
                std::uint32_t* done);

// Owns one handle and closes it when it goes; an empty owner holds
// kInvalidHandle.
struct FileOwnership {
    static FileHandle Empty() { return kInvalidHandle; }
    static void Free(FileHandle handle) { CloseFile(handle); }
};

class ScopedFile : public UniqueValue<FileHandle, FileOwnership> {
public:
    using UniqueValue::UniqueValue;
    bool valid() const { return get() != kInvalidHandle; }
};

}  // namespace quarn::os
