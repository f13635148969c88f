// Read-only file mapping on Win32.
#include "os/mapping.h"

#include "os/file.h"
#include "windows_api.h"

namespace quarn::os {

namespace {

// Maps the whole of an open disk file; the view keeps the file and the
// mapping object alive, so both handles may be closed afterwards.
const std::uint8_t* MapView(HANDLE file) {
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(mapping);
    return static_cast<const std::uint8_t*>(view);
}

}  // namespace

bool MapFile(const char* name, MappedFile* mapped) {
    *mapped = {};
    const ScopedFile file(OpenForReading(name));
    if (!file.valid()) return false;
    const HANDLE handle = win32::ToHandle(file.get());
    LARGE_INTEGER size{};
    bool ok = GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size) &&
              size.QuadPart >= 0 && size.QuadPart <= 0xFFFFFFFFLL;
    // An empty file cannot be mapped; it is simply an empty block.
    if (ok && size.QuadPart > 0) {
        mapped->data = MapView(handle);
        if (mapped->data == nullptr) {
            ok = false;
        } else {
            mapped->size = static_cast<std::uint32_t>(size.QuadPart);
        }
    }
    return ok;
}

void UnmapFile(MappedFile* mapped) {
    if (mapped->data != nullptr) UnmapViewOfFile(mapped->data);
    *mapped = {};
}

}  // namespace quarn::os
