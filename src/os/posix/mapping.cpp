// A whole file in memory on POSIX: read into private pages rather than
// mapped from the page cache. The reader then walks memory backed by huge
// pages where the kernel grants them; with the file's own 4 KiB pages the TLB
// misses alone cost inflate about a fifth more time.
#include "os/mapping.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/file.h"

namespace quarn::os {

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
constexpr std::size_t kPage = 4096;

std::size_t PageRounded(std::size_t size) { return (size + kPage - 1) & ~(kPage - 1); }

// length bytes of private pages starting on a huge-page boundary, so that
// every whole 2 MiB of them can be a huge page while the tail stays in small
// pages and costs no more memory than the file.
void* AlignedPages(std::size_t length) {
    const std::size_t reserved = length + kHugePage;
    void* raw = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) munmap(raw, aligned - start);
    munmap(reinterpret_cast<void*>(aligned + length), start + reserved - (aligned + length));
    return reinterpret_cast<void*>(aligned);
}

bool ReadAll(int fd, std::uint8_t* into, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = read(fd, into + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // the file shrank or cannot be read
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Private pages holding the file's bytes, made read-only; nullptr on failure.
std::uint8_t* LoadPages(int fd, std::size_t size) {
    const std::size_t length = PageRounded(size);
    void* pages = AlignedPages(length);
    if (pages == nullptr) return nullptr;
    madvise(pages, length, MADV_HUGEPAGE);  // a hint; refused where unsupported
    auto* bytes = static_cast<std::uint8_t*>(pages);
    if (!ReadAll(fd, bytes, size) || mprotect(pages, length, PROT_READ) != 0) {
        munmap(pages, length);
        return nullptr;
    }
    return bytes;
}

}  // namespace

bool MapFile(const char* name, MappedFile* mapped) {
    *mapped = {};
    const ScopedFile file(OpenForReading(name));
    if (!file.valid()) return false;
    const int fd = static_cast<int>(file.get());
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
              static_cast<unsigned long long>(st.st_size) <= 0xFFFFFFFFULL;
    if (ok && st.st_size > 0) {
        const auto size = static_cast<std::size_t>(st.st_size);
        mapped->data = LoadPages(fd, size);
        ok = mapped->data != nullptr;
        if (ok) mapped->size = static_cast<std::uint32_t>(size);
    }
    return ok;
}

void UnmapFile(MappedFile* mapped) {
    if (mapped->data != nullptr) {
        munmap(const_cast<std::uint8_t*>(mapped->data), PageRounded(mapped->size));
    }
    *mapped = {};
}

}  // namespace quarn::os
