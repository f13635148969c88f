#include "archive/source.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "archive/archive.h"
#include "base/bytes.h"

namespace quarn {

const std::uint8_t* BlockView(MemoryBlock block, std::uint32_t offset, std::uint32_t size) {
    if (offset > block.length || block.length - offset < size) return nullptr;
    return block.data + offset;
}

std::uint32_t BlockRead(MemoryBlock block, std::uint32_t offset, void* buffer,
                        std::uint32_t size) {
    if (offset >= block.length) return 0;
    const std::uint32_t n = std::min(size, block.length - offset);
    std::memcpy(buffer, block.data + offset, n);
    return n;
}

namespace {

bool IsHandleSource(const ArchiveSource* source) { return source->file.valid(); }

ArchiveSource* NewHandleSource(os::ScopedFile file) {
    auto* source = new (std::nothrow) ArchiveSource;
    if (source == nullptr) return nullptr;  // the file closes on the way out
    source->canSeek = os::IsDiskFile(file.get());
    // An archive may start where the caller's file position stands.
    source->baseOffset = source->canSeek ? os::SeekFile(file.get(), 0, os::SeekCurrent) : 0;
    source->file = std::move(file);
    return source;
}

ArchiveSource* NewMemorySource(const void* block, std::uint32_t length) {
    auto* source = new (std::nothrow) ArchiveSource;
    if (source == nullptr) return nullptr;
    source->canSeek = true;
    source->memory = {static_cast<const std::uint8_t*>(block), length};
    return source;
}

// The handle behind a SourceHandle or SourceFileName; sets *error when
// there is none.
os::ScopedFile TakeFile(const void* source, std::int32_t kind, std::int32_t* error) {
    if (kind == SourceHandle) {
        os::ScopedFile copy(os::DuplicateFileHandle(reinterpret_cast<os::FileHandle>(source)));
        if (!copy.valid()) *error = ArchErrDuplicateHandle;
        return copy;
    }
    os::ScopedFile opened;
    if (source != nullptr) opened.reset(os::OpenForReading(static_cast<const char*>(source)));
    if (!opened.valid()) *error = ArchErrOpenFile;
    return opened;
}

}  // namespace

ArchiveSource* OpenSource(const void* source, std::uint32_t length, std::int32_t kind,
                          std::int32_t* error) {
    std::int32_t ignored = 0;
    if (error == nullptr) error = &ignored;
    if (kind != SourceHandle && kind != SourceFileName && kind != SourceMemory) {
        *error = ArchErrArgument;
        return nullptr;
    }
    *error = 0;
    ArchiveSource* made = nullptr;
    if (kind == SourceMemory) {
        if (source == nullptr && length != 0) {
            *error = ArchErrArgument;
            return nullptr;
        }
        made = NewMemorySource(source, length);
    } else {
        os::ScopedFile file = TakeFile(source, kind, error);
        if (!file.valid()) return nullptr;
        made = NewHandleSource(std::move(file));
    }
    if (made == nullptr) *error = ArchErrNoMemory;
    return made;
}

std::int32_t CloseSource(ArchiveSource* source) {
    if (source == nullptr) return -1;
    delete source;  // a handle source's file closes with it
    return 0;
}

std::int32_t SourceHasError(const ArchiveSource* source) {
    return source != nullptr && IsHandleSource(source) && source->readFailed ? 1 : 0;
}

std::uint32_t SourceTell(ArchiveSource* source) {
    if (IsHandleSource(source) && !source->canSeek) return 0;
    return source->position;
}

namespace {

// Where data of the source ends, counted as positions are.
bool EndPosition(const ArchiveSource* source, std::int64_t* end) {
    if (!IsHandleSource(source)) {
        *end = source->memory.length;
        return true;
    }
    std::uint64_t size = 0;
    if (!os::DiskFileSize(source->file.get(), &size)) return false;
    *end = static_cast<std::int64_t>(size) - source->baseOffset;
    return true;
}

// Reads at a position of the source: a handle is read at that offset
// whatever its own file position, so that positions of 2 GiB and more, and
// positions past the end, read as they do from memory.
std::uint32_t ReadAtPosition(ArchiveSource* source, std::uint32_t position, void* buffer,
                             std::uint32_t size) {
    if (!IsHandleSource(source)) return BlockRead(source->memory, position, buffer, size);
    std::uint32_t done = 0;
    if (!os::ReadFileAt(source->file.get(), std::uint64_t{source->baseOffset} + position, buffer,
                        size, &done)) {
        source->readFailed = true;
    }
    return done;
}

}  // namespace

std::int32_t SourceSeek(ArchiveSource* source, std::int32_t offset, std::int32_t origin) {
    if (IsHandleSource(source) && !source->canSeek) return SeekErrNotSeekable;
    // From the start the offset counts as unsigned: an archive offset of
    // 2 GiB or more is a position like any other.
    std::int64_t target = 0;
    switch (origin) {
        case SeekFromStart: target = static_cast<std::uint32_t>(offset); break;
        case SeekFromCurrent: target = std::int64_t{source->position} + offset; break;
        case SeekFromEnd: {
            std::int64_t end = 0;
            if (!EndPosition(source, &end)) return SeekErrOutOfRange;
            target = end + offset;
            break;
        }
        default: return SeekErrOrigin;
    }
    // A position may lie past the end (reads there deliver nothing), but
    // never before the start or beyond what 32 bits count.
    if (target < 0 || target > std::int64_t{0xFFFFFFFF}) return SeekErrOutOfRange;
    source->position = static_cast<std::uint32_t>(target);
    return 0;
}

std::uint32_t SourceRead(void* buffer, std::uint32_t itemSize, std::uint32_t count,
                         ArchiveSource* source) {
    if (itemSize == 0) return 0;
    const std::uint32_t bytes = itemSize * count;
    std::uint32_t done = 0;
    if (IsHandleSource(source) && !source->canSeek) {
        // A pipe or console: read where the stream stands.
        if (!os::ReadFromFile(source->file.get(), buffer, bytes, &done)) source->readFailed = true;
    } else {
        done = ReadAtPosition(source, source->position, buffer, bytes);
        source->position += done;
    }
    return done / itemSize;
}

bool SourceViewsInPlace(const ArchiveSource* source) { return !IsHandleSource(source); }

bool SourceReadAt(ArchiveSource* source, std::uint32_t offset, void* buffer, std::uint32_t size) {
    if (size == 0) return true;
    if (IsHandleSource(source) && !source->canSeek) return false;
    return ReadAtPosition(source, offset, buffer, size) == size;
}

const std::uint8_t* SourceViewAt(const ArchiveSource* source, std::uint32_t offset,
                                 std::uint32_t size) {
    if (IsHandleSource(source)) return nullptr;
    return BlockView(source->memory, offset, size);
}

const std::uint8_t* SourceFetchAt(ArchiveSource* source, std::uint32_t offset,
                                  std::uint32_t wanted, std::uint8_t* buffer,
                                  std::uint32_t bufferSize, std::uint32_t* got) {
    *got = 0;
    if (wanted == 0) return nullptr;
    // A memory block gives all it holds of the stretch in place: inflate
    // then runs over it in one go.
    if (SourceViewsInPlace(source)) {
        const MemoryBlock block = source->memory;
        if (offset >= block.length) return nullptr;
        *got = std::min(wanted, block.length - offset);
        return block.data + offset;
    }
    if (!source->canSeek) return nullptr;
    *got = ReadAtPosition(source, offset, buffer, std::min(wanted, bufferSize));
    return *got != 0 ? buffer : nullptr;
}

std::int32_t ReadByte(ArchiveSource* source, std::uint32_t* value) {
    std::uint8_t byte = 0;
    if (SourceRead(&byte, 1, 1, source) == 1) {
        *value = byte;
        return 0;
    }
    return SourceHasError(source) ? -1 : 0;
}

namespace {

// Little-endian; bytes missing at the end of the data read as zero. One
// read for all bytes: the directory walk reads little else.
std::int32_t ReadLittleEndian(ArchiveSource* source, std::uint32_t width, std::uint32_t* value) {
    std::uint8_t bytes[4] = {};
    if (SourceRead(bytes, 1, width, source) < width && SourceHasError(source)) {
        *value = 0;
        return -1;
    }
    *value = LoadLe32(bytes);
    return 0;
}

}  // namespace

std::int32_t ReadUInt16(ArchiveSource* source, std::uint32_t* value) {
    return ReadLittleEndian(source, 2, value);
}

std::int32_t ReadUInt32(ArchiveSource* source, std::uint32_t* value) {
    return ReadLittleEndian(source, 4, value);
}

}  // namespace quarn
