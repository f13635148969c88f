// The archive reader's public interface: ZIP archives held in an OS file
// handle, a named file or a memory block.
//
// Open with OpenArchive, close with CloseArchive; in between GetEntry,
// FindEntry and ExtractEntry in any order. Every operation returns a result
// code and also leaves it in lastArchiveResult (a failed OpenArchive reports
// only there). A memory block opened as an archive stays the caller's and
// must outlive the handle. Single-disk archives, stored or deflated entries,
// 16-bit entry counts and 32-bit sizes. A handle serves one thread at a
// time; several handles may read one memory block at once, and
// lastArchiveResult, like errno, is each thread's own.
#pragma once

#include <cstdint>

#include "os/file.h"

namespace quarn {

// Source kinds for OpenArchive, and target kinds for ExtractEntry.
enum SourceKind : std::int32_t { SourceHandle = 1, SourceFileName = 2, SourceMemory = 3 };

// Result codes. Distinct values, not flags. A failed open may also report the
// directory reader's negative codes (ErrIo -1, ErrBadArchive -103).
enum ArchResult : std::int32_t {
    ArchOk = 0,
    ArchErrDuplicateHandle = 0x100,  // duplicating the caller's handle failed
    ArchErrOpenFile = 0x200,         // opening the archive or creating a target failed
    ArchErrCentralHeader = 0x300,    // the entry's central header cannot be read
    ArchErrWrite = 0x400,            // entry data could not be read in full or written
    ArchErrNotFound = 0x500,         // no entry has that name
    ArchDataDelivered = 0x600,       // memory target: bytes delivered, call again
    ArchErrLocalHeader = 0x700,      // local header disagrees with the central header
    ArchErrLocalExtra = 0x800,       // local extra field cannot be reached or read
    ArchErrCrc = 0x900,              // data complete but its CRC-32 does not match
    ArchErrEntryName = 0xA00,        // stored name is 260 bytes or longer, or holds a NUL
    ArchErrFolderTooLong = 0xB00,    // the current folder does not fit the folder base
    ArchErrNoMemory = 0xC00,         // no memory for the archive's objects
    ArchErrNameEncoding = 0xD00,     // a name flagged as UTF-8 is not, or the system cannot read it
    ArchErrArgument = 0x10000,       // missing handle, index out of range, unknown kind
    ArchErrHandleKind = 0x80000,     // handle's kind tag is not HandleForReading
    ArchErrAlreadyOpen = 0x1000000,  // the archive object is already open
    ArchErrNotDiskFile = 0x2000000,  // a SourceHandle that is not a disk file
    ArchErrEntryData = 0x5000000,    // memory target: entry data could not be read in full
};

// Names, folder paths and the record's name buffer hold 260 bytes with NUL.
inline constexpr std::uint32_t kMaxPath = 260;

struct ZipEntry {
    std::int32_t index = 0;     // entry index; the entry count for index -1
    char name[kMaxPath] = {};   // UTF-8 (see entry_name.h), '/' and '\' kept
    std::uint32_t attributes = 0;
    os::FileTime accessTime;    // all three: the DOS time read as local, in UTC;
    os::FileTime creationTime;  // zero when the stored DOS time is no valid date
    os::FileTime writeTime;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
};

struct ZipArchive;

inline constexpr std::uint32_t HandleForReading = 1;

struct ArchiveHandle {
    std::uint32_t kind = HandleForReading;
    ZipArchive* archive = nullptr;
};

extern thread_local std::int32_t lastArchiveResult;

// source: a handle (see HandleSource), a NUL-terminated file name, or the
// first byte of a block of length bytes. The relative folders of extracted
// names are created under the working directory at the time of the open.
ArchiveHandle* OpenArchive(const void* source, std::uint32_t length, std::int32_t kind);

// index -1 gives the entry count in entry->index.
std::int32_t GetEntry(ArchiveHandle* handle, std::int32_t index, ZipEntry* entry);

// index and entry are optional outputs.
std::int32_t FindEntry(ArchiveHandle* handle, const char* name, bool ignoreCase,
                       std::int32_t* index, ZipEntry* entry);

// SourceFileName: target is a file name, created with the entry's folders,
// attributes and times. SourceHandle: target is an open handle with write
// access (see HandleTarget). SourceMemory: target is a buffer of length
// bytes, filled over calls that return ArchDataDelivered until ArchOk.
std::int32_t ExtractEntry(ArchiveHandle* handle, std::int32_t index, void* target,
                          std::uint32_t length, std::int32_t kind);

std::int32_t CloseArchive(ArchiveHandle* handle);

// A short English text for any result code of the reader.
const char* ArchiveResultText(std::int32_t code);

inline const void* HandleSource(os::FileHandle handle) {
    return reinterpret_cast<const void*>(handle);
}
inline void* HandleTarget(os::FileHandle handle) { return reinterpret_cast<void*>(handle); }

}  // namespace quarn
