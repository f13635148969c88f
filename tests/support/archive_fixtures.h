// Small helpers shared by the archive and launch tests: owning wrappers for
// the reader's objects, and file times read back from disk. OS handles are
// owned by os::ScopedFile.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "archive/archive.h"
#include "archive/directory.h"
#include "archive/source.h"
#include "os/dostime.h"
#include "os/file.h"
#include "support/zip_builder.h"

namespace quarn::testing {

struct DirectoryCloser {
    void operator()(ZipDirectory* d) const { CloseDirectory(d); }
};
using DirectoryPtr = std::unique_ptr<ZipDirectory, DirectoryCloser>;

struct ArchiveCloser {
    void operator()(ArchiveHandle* h) const { CloseArchive(h); }
};
using ArchivePtr = std::unique_ptr<ArchiveHandle, ArchiveCloser>;

inline ArchiveSource* MemorySource(const Zip& zip) {
    std::int32_t error = -7;
    return OpenSource(zip.data(), zip.size(), SourceMemory, &error);
}

// The directory over a memory block, or null with lastOpenError set.
inline DirectoryPtr OpenMemoryDirectory(const Zip& zip) {
    return DirectoryPtr(OpenDirectory(MemorySource(zip)));
}

inline ArchivePtr OpenMemoryArchive(const Zip& zip) {
    return ArchivePtr(OpenArchive(zip.data(), zip.size(), SourceMemory));
}

inline std::uint64_t Ticks(const os::FileTime& t) {
    return (static_cast<std::uint64_t>(t.high) << 32) | t.low;
}

// The last write time of a file, as 100-ns ticks since 1601 (UTC).
inline std::uint64_t LastWriteTicks(const std::filesystem::path& path) {
    using namespace std::chrono;
    auto sys = file_clock::to_sys(std::filesystem::last_write_time(path));
    auto sinceUnix = duration_cast<duration<std::int64_t, std::ratio<1, 10000000>>>(
        sys.time_since_epoch());
    return static_cast<std::uint64_t>(sinceUnix.count() + os::kUnixEpochInFileTimeTicks);
}

inline std::uint64_t NowTicks() {
    using namespace std::chrono;
    auto sinceUnix = duration_cast<duration<std::int64_t, std::ratio<1, 10000000>>>(
        system_clock::now().time_since_epoch());
    return static_cast<std::uint64_t>(sinceUnix.count() + os::kUnixEpochInFileTimeTicks);
}

inline os::FileTime ExpectedUtc(std::uint16_t dosDate, std::uint16_t dosTime) {
    os::FileTime t;
    os::DosDateTimeToUtc(dosDate, dosTime, &t);
    return t;
}

}  // namespace quarn::testing
