// Read-only file mapping on Win32.
#include "os/mapping.h"

#include "windows_api.h"

namespace quarn::os {

namespace {

// Maps the whole of an open disk file; the view keeps the file and the
// mapping object alive, so both handles may be closed afterwards.
const std::uint8_t* MapView(HANDLE file) {
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(mapping);
    return static_cast<const std::uint8_t*>(view);
}

}  // namespace

bool MapFile(const char* name, MappedFile* mapped) {
    *mapped = {};
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) &&
              size.QuadPart >= 0 && size.QuadPart <= 0xFFFFFFFFLL;
    // An empty file cannot be mapped; it is simply an empty block.
    if (ok && size.QuadPart > 0) {
        mapped->data = MapView(file);
        if (mapped->data == nullptr) {
            ok = false;
        } else {
            mapped->size = static_cast<std::uint32_t>(size.QuadPart);
        }
    }
    CloseHandle(file);
    return ok;
}

void UnmapFile(MappedFile* mapped) {
    if (mapped->data != nullptr) UnmapViewOfFile(mapped->data);
    *mapped = {};
}

}  // namespace quarn::os
