// File handles on Win32: the handle is a HANDLE.
#include "os/file.h"

#include "windows_api.h"

namespace quarn::os {

using win32::FromHandle;
using win32::ToHandle;

static_assert(sizeof(FileHandle) == sizeof(HANDLE));
static_assert(INVALID_SET_FILE_POINTER == kSeekFailed);

FileHandle DuplicateFileHandle(FileHandle handle) {
    // INVALID_HANDLE_VALUE is also the current-process pseudo-handle, which
    // DuplicateHandle would gladly copy.
    if (handle == kInvalidHandle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return kInvalidHandle;
    }
    HANDLE copy = nullptr;
    HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, ToHandle(handle), self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        return kInvalidHandle;
    }
    return FromHandle(copy);
}

FileHandle OpenForReading(const char* name) {
    std::wstring wide;
    if (!win32::WideArgument(name, &wide)) return kInvalidHandle;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return FromHandle(h);  // INVALID_HANDLE_VALUE is kInvalidHandle
}

bool ReadFromFile(FileHandle handle, void* buffer, std::uint32_t count, std::uint32_t* done) {
    DWORD got = 0;
    BOOL ok = ReadFile(ToHandle(handle), buffer, count, &got, nullptr);
    *done = ok ? got : 0;
    return ok != FALSE;
}

std::uint32_t SeekFile(FileHandle handle, std::int32_t distance, SeekOrigin origin) {
    DWORD method;
    switch (origin) {
        case SeekBegin: method = FILE_BEGIN; break;
        case SeekCurrent: method = FILE_CURRENT; break;
        case SeekEnd: method = FILE_END; break;
        default: return kSeekFailed;
    }
    // Without a high part the result is the new position's low 32 bits, or
    // INVALID_SET_FILE_POINTER (kSeekFailed) when the system refuses.
    return SetFilePointer(ToHandle(handle), distance, nullptr, method);
}

bool IsDiskFile(FileHandle handle) { return GetFileType(ToHandle(handle)) == FILE_TYPE_DISK; }

FileHandle CreateFileWithAttributes(const char* name, std::uint32_t attributes) {
    // Windows refuses to overwrite a read-only file. Wine running as root
    // does not, so refuse it here as well.
    std::wstring wide;
    if (!win32::WideArgument(name, &wide)) return kInvalidHandle;
    DWORD existing = GetFileAttributesW(wide.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0 &&
        (existing & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return kInvalidHandle;
    }
    HANDLE h =
        CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    return FromHandle(h);
}

bool WriteToFile(FileHandle handle, const void* data, std::uint32_t count, std::uint32_t* written) {
    DWORD put = 0;
    BOOL ok = WriteFile(ToHandle(handle), data, count, &put, nullptr);
    *written = ok ? put : 0;
    return ok != FALSE;
}

bool SetFileTimes(FileHandle handle, const FileTime& creation, const FileTime& access,
                  const FileTime& write) {
    const FILETIME c = win32::ToFiletime(creation);
    const FILETIME a = win32::ToFiletime(access);
    const FILETIME w = win32::ToFiletime(write);
    return SetFileTime(ToHandle(handle), &c, &a, &w) != FALSE;
}

void CloseFile(FileHandle handle) {
    if (handle != kInvalidHandle) CloseHandle(ToHandle(handle));
}

bool DiskFileSize(FileHandle handle, std::uint64_t* size) {
    LARGE_INTEGER bytes{};
    if (GetFileType(ToHandle(handle)) != FILE_TYPE_DISK || !GetFileSizeEx(ToHandle(handle), &bytes) ||
        bytes.QuadPart < 0) {
        return false;
    }
    *size = static_cast<std::uint64_t>(bytes.QuadPart);
    return true;
}

bool ReadFileAt(FileHandle handle, std::uint64_t offset, void* buffer, std::uint32_t count,
                std::uint32_t* done) {
    *done = 0;
    // On a handle opened without FILE_FLAG_OVERLAPPED the read is synchronous
    // from the OVERLAPPED offset and leaves the file position after it.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(ToHandle(handle), buffer, count, &got, &at)) {
        // A synchronous read at or past the end fails with ERROR_HANDLE_EOF.
        return GetLastError() == ERROR_HANDLE_EOF;
    }
    *done = got;
    return true;
}

}  // namespace quarn::os
