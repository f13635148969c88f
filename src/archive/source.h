// The byte source under the archive reader: a duplicate of a caller's handle
// or a file opened by name (both owned, closed with the source), or a caller's
// memory block (borrowed; it must outlive the source).
//
// Two ways to read it. The directory walk uses a cursor: SourceSeek,
// SourceTell, SourceRead and the little-endian readers. Entry data names its
// offset with each read: SourceReadAt, SourceViewAt and SourceFetchAt. Offsets
// count from where a handle stood when the source was opened (baseOffset),
// until the directory takes that offset over and sets it to 0.
//
// A memory block is a plain MemoryBlock view read in place; reading it keeps
// no state, so any number of sources and readers may share one block. A
// handle that can seek is read at the source's own position, never through
// the handle's file position, so the two kinds behave alike: a position may
// lie past the end, where reads deliver nothing, but a seek before the start
// or past 4 GiB is refused and reported. A handle that cannot seek (a pipe)
// is read where its stream stands. A failed read of a handle marks the
// source for good (SourceHasError); a memory block never fails.
#pragma once

#include <cstdint>

#include "os/file.h"

namespace quarn {

// A caller's bytes, not owned. Copies are independent views of one block.
struct MemoryBlock {
    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
};

// size bytes at offset where they lie; nullptr when the block holds fewer.
const std::uint8_t* BlockView(MemoryBlock block, std::uint32_t offset, std::uint32_t size);
// Copies up to size bytes at offset into buffer; gives the count, 0 from the
// end on.
std::uint32_t BlockRead(MemoryBlock block, std::uint32_t offset, void* buffer,
                        std::uint32_t size);

struct ArchiveSource {
    os::ScopedFile file;           // a handle source's own handle; empty for memory
    bool canSeek = false;          // a disk file, or memory
    bool readFailed = false;       // sticky
    std::uint32_t baseOffset = 0;  // handle position at the open
    MemoryBlock memory;            // a memory source's block
    std::uint32_t position = 0;    // the cursor, may lie past the end
};

enum : std::int32_t { SeekFromStart = 0, SeekFromCurrent = 1, SeekFromEnd = 2 };
inline constexpr std::int32_t SeekErrOrigin = 19;
inline constexpr std::int32_t SeekErrNotSeekable = 29;
// The move would leave the range of 32-bit positions, or the end of a handle
// cannot be found (the value Windows gives a seek before the start).
inline constexpr std::int32_t SeekErrOutOfRange = 131;

// kind is a SourceKind. error receives 0 or ArchErrDuplicateHandle,
// ArchErrOpenFile, ArchErrArgument, ArchErrNoMemory.
ArchiveSource* OpenSource(const void* source, std::uint32_t length, std::int32_t kind,
                          std::int32_t* error);
// 0, or -1 without a source.
std::int32_t CloseSource(ArchiveSource* source);
// 1 once a read of a handle source failed, 0 otherwise.
std::int32_t SourceHasError(const ArchiveSource* source);

// The cursor. SourceTell gives 0 for a handle that cannot seek. SourceSeek
// gives 0, SeekErrNotSeekable for such a handle, SeekErrOrigin for an unknown
// origin, or SeekErrOutOfRange; the cursor moves only on 0. From the start
// the offset counts as unsigned 32 bits.
std::uint32_t SourceTell(ArchiveSource* source);
std::int32_t SourceSeek(ArchiveSource* source, std::int32_t offset, std::int32_t origin);
// Whole items delivered. The bytes of a last partial item are consumed.
std::uint32_t SourceRead(void* buffer, std::uint32_t itemSize, std::uint32_t count,
                         ArchiveSource* source);

// True for a memory source: SourceViewAt and SourceFetchAt then hand out
// bytes where they lie.
bool SourceViewsInPlace(const ArchiveSource* source);
// True when all size bytes at offset were read into buffer. The cursor stays
// where it is; a handle that cannot seek gives false.
bool SourceReadAt(ArchiveSource* source, std::uint32_t offset, void* buffer, std::uint32_t size);
// A memory source's size bytes at offset where they lie; nullptr when the
// block holds fewer, and always for a handle source.
const std::uint8_t* SourceViewAt(const ArchiveSource* source, std::uint32_t offset,
                                 std::uint32_t size);
// The next stretch of up to wanted bytes at offset, as much as is there: a
// memory source gives them in place, a handle source reads at most bufferSize
// of them into buffer. *got receives the count; nullptr (and 0) when not one
// byte is there.
const std::uint8_t* SourceFetchAt(ArchiveSource* source, std::uint32_t offset,
                                  std::uint32_t wanted, std::uint8_t* buffer,
                                  std::uint32_t bufferSize, std::uint32_t* got);

// 0, or -1 on a read error. When the data simply ends, 0 is returned; ReadByte
// then leaves the value as it was, the wider readers take missing bytes as 0.
std::int32_t ReadByte(ArchiveSource* source, std::uint32_t* value);
std::int32_t ReadUInt16(ArchiveSource* source, std::uint32_t* value);
std::int32_t ReadUInt32(ArchiveSource* source, std::uint32_t* value);

}  // namespace quarn
