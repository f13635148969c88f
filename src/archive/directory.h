// The central directory of a ZIP archive over an ArchiveSource: the
// end-record search, a cursor over the central headers, name search and the
// local-header check. Results are the inner codes below (ErrOk and negative
// values), not the ArchResult codes of the public interface.
//
// OpenDirectory takes the source over whatever happens: it is closed with the
// directory, or at once when the open fails. The open's result goes to
// lastOpenError (0, ArchErrArgument for no source, ErrIo when no end record
// is found or it cannot be read, ErrBadArchive for a multi-disk archive or a
// directory that does not end before the end record, ErrNoMemory). Bytes in
// front of the archive (a launcher before its package, or where a caller's
// handle stood) are counted once in bytesBefore; header offsets are the
// archive's own.
//
// The cursor stands on one central header: currentValid when it could be
// read, with its fields in currentInfo and currentLocalOffset. A step that
// fails leaves the cursor on the unreadable header, and every further step
// gives ErrEndOfList. Every header field is untrusted: the entry count, sizes
// and offsets are only read through, never used to reserve memory.
//
// One thread at a time per directory; lastOpenError is each thread's own.
#pragma once

#include <cstdint>

#include "archive/source.h"

namespace quarn {

enum : std::int32_t {
    ErrOk = 0,
    ErrIo = -1,
    ErrEndOfList = -100,
    ErrParam = -102,
    ErrBadArchive = -103,
    ErrNoMemory = -104,
    ErrCrc = -105,
};

enum : std::int32_t { NameCaseSensitive = 1, NameIgnoreCase = 2 };

// Record signatures ("PK" and two bytes), and the records' fixed sizes with
// their signatures.
inline constexpr std::uint32_t kCentralSignature = 0x02014B50;
inline constexpr std::uint32_t kLocalSignature = 0x04034B50;
inline constexpr std::uint32_t kEndSignature = 0x06054B50;
inline constexpr std::uint32_t kSignatureSize = 4;
inline constexpr std::uint32_t kCentralHeaderSize = 46;
inline constexpr std::uint32_t kLocalHeaderSize = 30;
inline constexpr std::uint32_t kEndRecordSize = 22;

// Compression methods the reader handles.
inline constexpr std::uint32_t kMethodStored = 0;
inline constexpr std::uint32_t kMethodDeflated = 8;

// General-purpose flag: CRC-32 and sizes follow the data, the local header's
// are zero.
inline constexpr std::uint32_t kFlagDataDescriptor = 0x0008;

// External attributes: the upper half a Unix mode, the lower half MS-DOS
// attribute bits, whose values are those of os::kAttr*.
inline constexpr std::uint32_t kUnixModeDirectory = 0x40000000;   // S_IFDIR << 16
inline constexpr std::uint32_t kUnixModeOwnerWrite = 0x00800000;  // S_IWUSR << 16

struct EntryDate {
    std::int32_t second, minute, hour, day, month, year;  // month from 0
};

struct EntryInfo {
    std::uint32_t versionMadeBy, versionNeeded, flags, method, dosDateTime, crc;
    std::uint32_t compressedSize, uncompressedSize, nameLength, extraLength, commentLength;
    std::uint32_t diskNumberStart, internalAttributes, externalAttributes;
    EntryDate dateParts;
};

struct EntryReader;

struct ZipDirectory {
    ArchiveSource* source = nullptr;  // owned
    std::uint32_t entryCount = 0;
    std::uint32_t archiveCommentLength = 0;
    std::uint32_t bytesBefore = 0;
    std::uint32_t currentIndex = 0;
    std::uint32_t currentHeaderPos = 0;
    std::int32_t currentValid = 0;
    std::uint32_t endRecordPos = 0;
    std::uint32_t directorySize = 0;
    std::uint32_t directoryOffset = 0;
    EntryInfo currentInfo = {};
    std::uint32_t currentLocalOffset = 0;
    EntryReader* openEntry = nullptr;
};

extern thread_local std::int32_t lastOpenError;

// The source position of the end record nearest the end, searched in the
// last 64 KiB; 0 when there is none (a record at position 0 counts as none).
std::uint32_t FindEndRecord(ArchiveSource* source);
// Null on failure, see the top. The cursor then stands on the first entry.
ZipDirectory* OpenDirectory(ArchiveSource* source);
// Closes an open entry and the source too. ErrParam without a directory.
std::int32_t CloseDirectory(ZipDirectory* directory);
void DecodeDosDateTime(std::uint32_t dosDateTime, EntryDate* date);
// Reads the central header at the cursor; info, localOffset and each buffer
// are optional. A name or comment is NUL-terminated only when it fits its
// buffer with the NUL; an extra field is cut to its buffer. ErrParam, ErrIo,
// or ErrBadArchive for a wrong signature; info and localOffset are then left
// alone.
std::int32_t ReadCentralHeader(ZipDirectory* directory, EntryInfo* info,
                               std::uint32_t* localOffset, char* nameBuf,
                               std::uint32_t nameSize, void* extraBuf,
                               std::uint32_t extraSize, char* commentBuf,
                               std::uint32_t commentSize);
std::int32_t GetCurrentEntryInfo(ZipDirectory* directory, EntryInfo* info, char* nameBuf,
                                 std::uint32_t nameSize, void* extraBuf,
                                 std::uint32_t extraSize, char* commentBuf,
                                 std::uint32_t commentSize);
// The cursor to the first or the next entry, with ReadCentralHeader's result.
// GoToFirstEntry reads the first header whatever the entry count says;
// GoToNextEntry gives ErrEndOfList after the last entry or a failed step.
std::int32_t GoToFirstEntry(ZipDirectory* directory);
std::int32_t GoToNextEntry(ZipDirectory* directory);
// Puts the cursor on the first entry named wanted, searched from the first
// entry and compared with the decoded name (entry_name.h); an entry whose
// name cannot be read is passed over. A miss gives the
// result of the step that ended the search (ErrEndOfList at the end) and
// leaves the cursor where it stood. ErrParam for a wanted name of 256 bytes or more, so
// a stored name that long matches nothing.
std::int32_t LocateEntry(ZipDirectory* directory, const char* wanted, std::int32_t mode);
// 0 when the names match, else -1 or 1 by their order. NameCaseSensitive
// compares unsigned bytes; any other mode is CompareNamesNoCase.
std::int32_t CompareNames(const char* stored, const char* wanted, std::int32_t mode);
// ASCII letters fold to upper case; bytes compare as signed chars, so bytes
// from 0x80 sort before every ASCII byte.
std::int32_t CompareNamesNoCase(const char* stored, const char* wanted);
// Checks the current entry's local header against its central header:
// signature, method (stored or deflated), name length, and CRC-32 and sizes
// unless a data descriptor holds them. *varSize gets the local name and extra
// lengths, *localExtraOffset where the local extra field starts (an archive
// offset). ErrIo, ErrBadArchive, or 0.
std::int32_t CheckLocalHeader(ZipDirectory* directory, std::uint32_t* varSize,
                              std::uint32_t* localExtraOffset,
                              std::uint32_t* localExtraLength);

}  // namespace quarn
