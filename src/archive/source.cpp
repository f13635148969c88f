#include "archive/source.h"

#include <cstring>
#include <new>

#include "archive/archive.h"

namespace quarn {

namespace {

ArchiveSource* NewHandleSource(os::FileHandle handle) {
    auto* source = new (std::nothrow) ArchiveSource;
    if (source == nullptr) return nullptr;
    source->isHandle = true;
    source->canSeek = os::IsDiskFile(handle);
    source->handle = handle;
    // An archive may start where the caller's file position stands.
    source->baseOffset = source->canSeek ? os::SeekFile(handle, 0, os::SeekCurrent) : 0;
    return source;
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
        made = new (std::nothrow) ArchiveSource;
        if (made != nullptr) {
            made->canSeek = true;
            made->memory = static_cast<const std::uint8_t*>(source);
            made->length = length;
        }
    } else {
        os::FileHandle handle = os::kInvalidHandle;
        if (kind == SourceHandle) {
            handle = os::DuplicateFileHandle(reinterpret_cast<os::FileHandle>(source));
            if (handle == os::kInvalidHandle) {
                *error = ArchErrDuplicateHandle;
                return nullptr;
            }
        } else {
            if (source != nullptr) handle = os::OpenForReading(static_cast<const char*>(source));
            if (handle == os::kInvalidHandle) {
                *error = ArchErrOpenFile;
                return nullptr;
            }
        }
        made = NewHandleSource(handle);
        if (made == nullptr) os::CloseFile(handle);
    }
    if (made == nullptr) *error = ArchErrNoMemory;
    return made;
}

std::int32_t CloseSource(ArchiveSource* source) {
    if (source == nullptr) return -1;
    if (source->isHandle) os::CloseFile(source->handle);
    delete source;
    return 0;
}

std::int32_t SourceHasError(const ArchiveSource* source) {
    return source != nullptr && source->isHandle && source->readFailed ? 1 : 0;
}

std::uint32_t SourceTell(ArchiveSource* source) {
    if (!source->isHandle) return source->position;
    if (!source->canSeek) return 0;
    return os::SeekFile(source->handle, 0, os::SeekCurrent) - source->baseOffset;
}

std::int32_t SourceSeek(ArchiveSource* source, std::int32_t offset, std::int32_t origin) {
    if (source->isHandle) {
        if (!source->canSeek) return SeekErrNotSeekable;
        switch (origin) {
            case SeekFromStart:
                os::SeekFile(source->handle,
                             static_cast<std::int32_t>(static_cast<std::uint32_t>(offset) +
                                                       source->baseOffset),
                             os::SeekBegin);
                return 0;
            case SeekFromCurrent: os::SeekFile(source->handle, offset, os::SeekCurrent); return 0;
            case SeekFromEnd: os::SeekFile(source->handle, offset, os::SeekEnd); return 0;
            default: return SeekErrOrigin;
        }
    }
    // A memory position may lie beyond the block; reads there deliver nothing.
    switch (origin) {
        case SeekFromStart: source->position = static_cast<std::uint32_t>(offset); break;
        case SeekFromCurrent: source->position += static_cast<std::uint32_t>(offset); break;
        case SeekFromEnd: source->position = source->length + static_cast<std::uint32_t>(offset); break;
        default: break;
    }
    return 0;
}

std::uint32_t SourceRead(void* buffer, std::uint32_t itemSize, std::uint32_t count,
                         ArchiveSource* source) {
    if (itemSize == 0) return 0;
    std::uint32_t bytes = itemSize * count;
    if (source->isHandle) {
        std::uint32_t done = 0;
        if (!os::ReadFromFile(source->handle, buffer, bytes, &done)) source->readFailed = true;
        return done / itemSize;
    }
    if (source->position >= source->length) return 0;
    std::uint32_t available = source->length - source->position;
    if (bytes > available) bytes = available;
    std::memcpy(buffer, source->memory + source->position, bytes);
    source->position += bytes;
    return bytes / itemSize;
}

const std::uint8_t* SourceView(ArchiveSource* source, std::uint32_t size) {
    if (source->isHandle || source->position > source->length ||
        source->length - source->position < size) {
        return nullptr;
    }
    const std::uint8_t* view = source->memory + source->position;
    source->position += size;
    return view;
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
    std::uint32_t result = 0;
    for (std::uint32_t i = 0; i < width; ++i) result |= std::uint32_t{bytes[i]} << (8 * i);
    *value = result;
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
