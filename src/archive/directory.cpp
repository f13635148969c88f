#include "archive/directory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "archive/archive.h"
#include "archive/entry_name.h"
#include "archive/entry_reader.h"
#include "base/bytes.h"
#include "base/text.h"

namespace quarn {

thread_local std::int32_t lastOpenError = 0;

namespace {

constexpr std::uint32_t kSearchStep = 1024;
constexpr std::uint32_t kSearchBlock = kSearchStep + kSignatureSize;
constexpr std::uint32_t kSearchReach = 0xFFFF;

// Reads a record's fixed part at once and hands out its fields in order.
// Bytes missing at the end of the data read as zero; a field that a read
// error cut short marks the reader failed, so that a record is read in full
// and judged once at the end.
class FieldReader {
public:
    // size is at most kCentralHeaderSize, the longest record.
    FieldReader(ArchiveSource* source, std::uint32_t size)
        : got_(SourceRead(bytes_, 1, std::min<std::uint32_t>(size, sizeof bytes_), source)),
          errorAt_(SourceHasError(source) != 0 ? got_ : sizeof bytes_) {}

    bool ioFailed = false;

    std::uint32_t U16() {
        return LoadLe16(bytes_ + Advance(2));
    }
    std::uint32_t U32() {
        return LoadLe32(bytes_ + Advance(4));
    }

private:
    // Where the next field starts. A field cut short by a read error marks
    // the reader failed; its value then does not count.
    std::uint32_t Advance(std::uint32_t width) {
        const std::uint32_t at = cursor_;
        cursor_ += width;
        if (cursor_ > errorAt_) ioFailed = true;
        return at;
    }

    std::uint8_t bytes_[kCentralHeaderSize] = {};
    std::uint32_t got_;
    std::uint32_t errorAt_;  // fields ending past this failed
    std::uint32_t cursor_ = 0;
};

bool ReadItem(ArchiveSource* source, void* buffer, std::uint32_t size) {
    return SourceRead(buffer, size, 1, source) == 1;
}

}  // namespace

std::uint32_t FindEndRecord(ArchiveSource* source) {
    if (SourceSeek(source, 0, SeekFromEnd) != 0) return 0;
    std::uint32_t size = SourceTell(source);
    std::uint32_t maxBack = std::min(size, kSearchReach);
    auto* buffer = static_cast<std::uint8_t*>(std::malloc(kSearchBlock));
    if (buffer == nullptr) return 0;
    std::uint32_t found = 0;
    std::uint32_t back = kSignatureSize;
    while (back < maxBack) {
        back = std::min(back + kSearchStep, maxBack);
        std::uint32_t readPos = size - back;
        std::uint32_t readLen = std::min(back, kSearchBlock);
        if (SourceSeek(source, static_cast<std::int32_t>(readPos), SeekFromStart) != 0) break;
        if (!ReadItem(source, buffer, readLen)) break;
        // Nearest the end wins; a hit at position 0 of the source counts as none.
        for (std::uint32_t i = readLen - kSignatureSize + 1; i-- > 0;) {
            if (LoadLe32(buffer + i) == kEndSignature) {
                found = readPos + i;
                if (found != 0) {
                    std::free(buffer);
                    return found;
                }
                break;
            }
        }
    }
    std::free(buffer);
    return found;
}

ZipDirectory* OpenDirectory(ArchiveSource* source) {
    lastOpenError = 0;
    if (source == nullptr) {
        lastOpenError = ArchErrArgument;
        return nullptr;
    }
    std::int32_t err = 0;
    std::uint32_t pos = FindEndRecord(source);
    if (pos == 0) err = ErrIo;
    if (SourceSeek(source, static_cast<std::int32_t>(pos), SeekFromStart) != 0) err = ErrIo;

    FieldReader in{source, kEndRecordSize};
    in.U32();  // signature, found by the search
    std::uint32_t thisDisk = in.U16();
    std::uint32_t directoryDisk = in.U16();
    std::uint32_t entriesHere = in.U16();
    std::uint32_t entriesTotal = in.U16();
    if (in.ioFailed) err = ErrIo;
    if (entriesTotal != entriesHere || thisDisk != 0 || directoryDisk != 0) err = ErrBadArchive;
    in.ioFailed = false;
    std::uint32_t directorySize = in.U32();
    std::uint32_t directoryOffset = in.U32();
    std::uint32_t commentLength = in.U16();
    if (in.ioFailed) err = ErrIo;
    // The directory must end before the end record; summed without wrapping,
    // so that offsets near 4 GiB cannot pass as small ones.
    std::uint64_t recordAt = std::uint64_t{pos} + source->baseOffset;
    if (recordAt < std::uint64_t{directoryOffset} + directorySize && err == 0) err = ErrBadArchive;

    ZipDirectory* directory = nullptr;
    if (err == 0) {
        directory = new (std::nothrow) ZipDirectory;
        if (directory == nullptr) err = ErrNoMemory;
    }
    if (err != 0) {
        CloseSource(source);
        lastOpenError = err;
        return nullptr;
    }
    directory->source = source;
    directory->entryCount = entriesHere;
    directory->archiveCommentLength = commentLength;
    directory->bytesBefore =
        static_cast<std::uint32_t>(recordAt - directoryOffset - directorySize);
    directory->endRecordPos = pos;
    directory->directorySize = directorySize;
    directory->directoryOffset = directoryOffset;
    source->baseOffset = 0;
    GoToFirstEntry(directory);
    return directory;
}

std::int32_t CloseDirectory(ZipDirectory* directory) {
    if (directory == nullptr) return ErrParam;
    if (directory->openEntry != nullptr) CloseEntryData(directory);
    CloseSource(directory->source);
    delete directory;
    return 0;
}

void DecodeDosDateTime(std::uint32_t d, EntryDate* date) {
    date->second = static_cast<std::int32_t>((d & 0x1F) * 2);
    date->minute = static_cast<std::int32_t>((d >> 5) & 0x3F);
    date->hour = static_cast<std::int32_t>((d >> 11) & 0x1F);
    date->day = static_cast<std::int32_t>((d >> 16) & 0x1F);
    date->month = static_cast<std::int32_t>((d >> 21) & 0x0F) - 1;
    date->year = static_cast<std::int32_t>((d >> 25) & 0x7F) + 1980;
}

namespace {

// Reads a name or comment of storedLength bytes into a buffer of size bytes;
// NUL-terminated only when it fits with its NUL.
bool ReadText(ArchiveSource* source, char* buffer, std::uint32_t size,
              std::uint32_t storedLength, std::uint32_t* taken) {
    std::uint32_t n = size;
    if (storedLength < size) {
        buffer[storedLength] = '\0';
        n = storedLength;
    }
    *taken = n;
    if (storedLength > 0 && size > 0) return ReadItem(source, buffer, n);
    return true;
}

}  // namespace

std::int32_t ReadCentralHeader(ZipDirectory* directory, EntryInfo* info,
                               std::uint32_t* localOffset, char* nameBuf,
                               std::uint32_t nameSize, void* extraBuf,
                               std::uint32_t extraSize, char* commentBuf,
                               std::uint32_t commentSize) {
    if (directory == nullptr) return ErrParam;
    ArchiveSource* source = directory->source;
    std::int32_t err = 0;
    if (SourceSeek(source,
                   static_cast<std::int32_t>(directory->bytesBefore + directory->currentHeaderPos),
                   SeekFromStart) != 0) {
        err = ErrIo;
    } else {
        std::uint32_t signature = 0;
        if (ReadUInt32(source, &signature) != 0) {
            err = ErrIo;
        } else if (signature != kCentralSignature) {
            err = ErrBadArchive;
        }
    }

    FieldReader in{source, kCentralHeaderSize - kSignatureSize};
    EntryInfo work = {};
    work.versionMadeBy = in.U16();
    work.versionNeeded = in.U16();
    work.flags = in.U16();
    work.method = in.U16();
    work.dosDateTime = in.U32();
    DecodeDosDateTime(work.dosDateTime, &work.dateParts);
    work.crc = in.U32();
    work.compressedSize = in.U32();
    work.uncompressedSize = in.U32();
    work.nameLength = in.U16();
    work.extraLength = in.U16();
    work.commentLength = in.U16();
    work.diskNumberStart = in.U16();
    work.internalAttributes = in.U16();
    work.externalAttributes = in.U32();
    std::uint32_t offset = in.U32();
    if (in.ioFailed) err = ErrIo;

    std::uint32_t skip = work.nameLength;
    if (err == 0 && nameBuf != nullptr) {
        std::uint32_t n = 0;
        if (!ReadText(source, nameBuf, nameSize, work.nameLength, &n)) err = ErrIo;
        skip -= std::min(n, skip);
    }
    if (err == 0 && extraBuf != nullptr) {
        std::uint32_t n = std::min(work.extraLength, extraSize);
        if (skip != 0) {
            if (SourceSeek(source, static_cast<std::int32_t>(skip), SeekFromCurrent) != 0) {
                err = ErrIo;
            } else {
                skip = 0;
            }
        }
        if (work.extraLength > 0 && extraSize > 0 && !ReadItem(source, extraBuf, n)) err = ErrIo;
        skip += work.extraLength - n;
    } else {
        skip += work.extraLength;
    }
    if (err == 0 && commentBuf != nullptr) {
        if (skip != 0 &&
            SourceSeek(source, static_cast<std::int32_t>(skip), SeekFromCurrent) != 0) {
            err = ErrIo;
        }
        std::uint32_t n = 0;
        if (!ReadText(source, commentBuf, commentSize, work.commentLength, &n)) return ErrIo;
    }
    if (err == 0) {
        if (info != nullptr) *info = work;
        if (localOffset != nullptr) *localOffset = offset;
    }
    return err;
}

std::int32_t GetCurrentEntryInfo(ZipDirectory* directory, EntryInfo* info, char* nameBuf,
                                 std::uint32_t nameSize, void* extraBuf,
                                 std::uint32_t extraSize, char* commentBuf,
                                 std::uint32_t commentSize) {
    return ReadCentralHeader(directory, info, nullptr, nameBuf, nameSize, extraBuf, extraSize,
                             commentBuf, commentSize);
}

namespace {

std::int32_t ReadCurrentHeader(ZipDirectory* directory) {
    std::int32_t err = ReadCentralHeader(directory, &directory->currentInfo,
                                         &directory->currentLocalOffset, nullptr, 0, nullptr, 0,
                                         nullptr, 0);
    directory->currentValid = err == 0 ? 1 : 0;
    return err;
}

}  // namespace

std::int32_t GoToFirstEntry(ZipDirectory* directory) {
    if (directory == nullptr) return ErrParam;
    directory->currentHeaderPos = directory->directoryOffset;
    directory->currentIndex = 0;
    return ReadCurrentHeader(directory);
}

std::int32_t GoToNextEntry(ZipDirectory* directory) {
    if (directory == nullptr) return ErrParam;
    if (!directory->currentValid || directory->currentIndex + 1 >= directory->entryCount) {
        return ErrEndOfList;
    }
    const EntryInfo& info = directory->currentInfo;
    directory->currentHeaderPos +=
        kCentralHeaderSize + info.nameLength + info.extraLength + info.commentLength;
    directory->currentIndex += 1;
    return ReadCurrentHeader(directory);
}

std::int32_t LocateEntry(ZipDirectory* directory, const char* wanted, std::int32_t mode) {
    if (directory == nullptr || wanted == nullptr || std::strlen(wanted) >= 256) return ErrParam;
    if (!directory->currentValid) return ErrEndOfList;
    const std::uint32_t index = directory->currentIndex;
    const std::uint32_t headerPos = directory->currentHeaderPos;
    const std::int32_t valid = directory->currentValid;
    const EntryInfo info = directory->currentInfo;
    const std::uint32_t localOffset = directory->currentLocalOffset;

    std::int32_t err = GoToFirstEntry(directory);
    std::string name;
    while (err == 0) {
        // Compared as GetEntry reports the name, so that both agree.
        if (ReadEntryName(directory, &name) == ArchOk && CompareNames(name.c_str(), wanted, mode) == 0) {
            return 0;
        }
        err = GoToNextEntry(directory);
    }
    directory->currentIndex = index;
    directory->currentHeaderPos = headerPos;
    directory->currentValid = valid;
    directory->currentInfo = info;
    directory->currentLocalOffset = localOffset;
    return err;
}

std::int32_t CompareNames(const char* stored, const char* wanted, std::int32_t mode) {
    if (mode != NameCaseSensitive) return CompareNamesNoCase(stored, wanted);
    // A stored name that filled its buffer has no NUL: it is longer than any
    // wanted name, which the caller limits to 255 bytes, so the wanted NUL
    // ends the comparison first.
    for (std::size_t i = 0;; ++i) {
        auto s = static_cast<unsigned char>(stored[i]);
        auto w = static_cast<unsigned char>(wanted[i]);
        if (s != w) return s < w ? -1 : 1;
        if (s == 0) return 0;
    }
}

std::int32_t CompareNamesNoCase(const char* stored, const char* wanted) {
    for (std::size_t i = 0;; ++i) {
        const auto s = static_cast<signed char>(AsciiUpper(stored[i]));
        const auto w = static_cast<signed char>(AsciiUpper(wanted[i]));
        if (s == 0) return w == 0 ? 0 : -1;
        if (w == 0) return 1;
        if (s != w) return s < w ? -1 : 1;
    }
}

std::int32_t CheckLocalHeader(ZipDirectory* directory, std::uint32_t* varSize,
                              std::uint32_t* localExtraOffset,
                              std::uint32_t* localExtraLength) {
    *varSize = 0;
    *localExtraOffset = 0;
    *localExtraLength = 0;
    ArchiveSource* source = directory->source;
    if (SourceSeek(source,
                   static_cast<std::int32_t>(directory->bytesBefore +
                                             directory->currentLocalOffset),
                   SeekFromStart) != 0) {
        return ErrIo;
    }
    const EntryInfo& central = directory->currentInfo;
    FieldReader in{source, kLocalHeaderSize};
    bool bad = false;
    // A comparison counts only while every read so far succeeded.
    auto expect = [&](bool holds) {
        if (!in.ioFailed && !holds) bad = true;
    };
    expect(in.U32() == kLocalSignature);
    in.U16();  // version needed
    std::uint32_t flags = in.U16();
    std::uint32_t method = in.U16();
    expect(method == central.method &&
           (central.method == kMethodStored || central.method == kMethodDeflated));
    in.U32();  // time and date
    const bool descriptor = (flags & kFlagDataDescriptor) != 0;
    std::uint32_t crc = in.U32();
    expect(descriptor || crc == central.crc);
    std::uint32_t compressed = in.U32();
    expect(descriptor || compressed == central.compressedSize);
    std::uint32_t uncompressed = in.U32();
    expect(descriptor || uncompressed == central.uncompressedSize);
    std::uint32_t nameLength = in.U16();
    expect(nameLength == central.nameLength);
    std::uint32_t extraLength = in.U16();
    *varSize = nameLength + extraLength;
    *localExtraOffset = directory->currentLocalOffset + kLocalHeaderSize + nameLength;
    *localExtraLength = extraLength;
    if (in.ioFailed) return ErrIo;
    return bad ? ErrBadArchive : 0;
}

}  // namespace quarn
