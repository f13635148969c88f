// The central directory: end-record search, the entry cursor, name search
// and the local-header check. Results are the reader's inner codes.
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

inline constexpr std::uint32_t kCentralSignature = 0x02014B50;
inline constexpr std::uint32_t kLocalSignature = 0x04034B50;
inline constexpr std::uint32_t kEndSignature = 0x06054B50;
inline constexpr std::uint32_t kCentralHeaderSize = 46;
inline constexpr std::uint32_t kLocalHeaderSize = 30;
inline constexpr std::uint32_t kEndRecordSize = 22;

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

extern std::int32_t lastOpenError;

std::uint32_t FindEndRecord(ArchiveSource* source);
// Takes over the source in every case but none.
ZipDirectory* OpenDirectory(ArchiveSource* source);
std::int32_t CloseDirectory(ZipDirectory* directory);
void DecodeDosDateTime(std::uint32_t dosDateTime, EntryDate* date);
std::int32_t ReadCentralHeader(ZipDirectory* directory, EntryInfo* info,
                               std::uint32_t* localOffset, char* nameBuf,
                               std::uint32_t nameSize, void* extraBuf,
                               std::uint32_t extraSize, char* commentBuf,
                               std::uint32_t commentSize);
std::int32_t GetCurrentEntryInfo(ZipDirectory* directory, EntryInfo* info, char* nameBuf,
                                 std::uint32_t nameSize, void* extraBuf,
                                 std::uint32_t extraSize, char* commentBuf,
                                 std::uint32_t commentSize);
std::int32_t GoToFirstEntry(ZipDirectory* directory);
std::int32_t GoToNextEntry(ZipDirectory* directory);
std::int32_t LocateEntry(ZipDirectory* directory, const char* wanted, std::int32_t mode);
std::int32_t CompareNames(const char* stored, const char* wanted, std::int32_t mode);
std::int32_t CompareNamesNoCase(const char* stored, const char* wanted);
std::int32_t CheckLocalHeader(ZipDirectory* directory, std::uint32_t* varSize,
                              std::uint32_t* localExtraOffset,
                              std::uint32_t* localExtraLength);

}  // namespace quarn
