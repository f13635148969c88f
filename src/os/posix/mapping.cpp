// Read-only file mapping on POSIX.
#include "os/mapping.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "native_path.h"

namespace quarn::os {

bool MapFile(const char* name, MappedFile* mapped) {
    *mapped = {};
    if (name == nullptr) return false;
    int fd;
    do {
        fd = open(posix::NativePath(name).c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st {};
    bool usable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
                  static_cast<unsigned long long>(st.st_size) <= 0xFFFFFFFFULL;
    bool ok = usable;
    if (usable && st.st_size > 0) {
        // The mapping stays valid after the descriptor is closed. Populating
        // it up front spares a page fault per page in the reader's hot loop.
        void* view = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (view == MAP_FAILED) {
            ok = false;
        } else {
            mapped->data = static_cast<const std::uint8_t*>(view);
            mapped->size = static_cast<std::uint32_t>(st.st_size);
        }
    }
    close(fd);
    return ok;
}

void UnmapFile(MappedFile* mapped) {
    if (mapped->data != nullptr) {
        munmap(const_cast<std::uint8_t*>(mapped->data), mapped->size);
    }
    *mapped = {};
}

}  // namespace quarn::os
