// The byte source under the archive reader: tell, seek, read and
// little-endian integer reads over a duplicated handle, a file opened by
// name, or a caller's memory block.
#pragma once

#include <cstdint>

#include "os/file.h"

namespace quarn {

struct ArchiveSource {
    bool isHandle = false;
    bool canSeek = false;
    os::FileHandle handle = os::kInvalidHandle;  // owned
    bool readFailed = false;                      // sticky
    std::uint32_t baseOffset = 0;
    const std::uint8_t* memory = nullptr;         // not owned
    std::uint32_t length = 0;
    std::uint32_t position = 0;
};

enum : std::int32_t { SeekFromStart = 0, SeekFromCurrent = 1, SeekFromEnd = 2 };
inline constexpr std::int32_t SeekErrOrigin = 19;
inline constexpr std::int32_t SeekErrNotSeekable = 29;

// error receives 0 or ArchErrDuplicateHandle, ArchErrOpenFile, ArchErrArgument,
// ArchErrNoMemory.
ArchiveSource* OpenSource(const void* source, std::uint32_t length, std::int32_t kind,
                          std::int32_t* error);
std::int32_t CloseSource(ArchiveSource* source);
std::int32_t SourceHasError(const ArchiveSource* source);
std::uint32_t SourceTell(ArchiveSource* source);
std::int32_t SourceSeek(ArchiveSource* source, std::int32_t offset, std::int32_t origin);
// Whole items delivered.
std::uint32_t SourceRead(void* buffer, std::uint32_t itemSize, std::uint32_t count,
                         ArchiveSource* source);
// A memory source's next size bytes in place, the position advanced as by a
// read; nullptr for a handle source or when the block holds fewer bytes.
const std::uint8_t* SourceView(ArchiveSource* source, std::uint32_t size);
// 0, or -1 on a read error. When the data simply ends, 0 is returned; ReadByte
// then leaves the value as it was, the wider readers take missing bytes as 0.
std::int32_t ReadByte(ArchiveSource* source, std::uint32_t* value);
std::int32_t ReadUInt16(ArchiveSource* source, std::uint32_t* value);
std::int32_t ReadUInt32(ArchiveSource* source, std::uint32_t* value);

}  // namespace quarn
