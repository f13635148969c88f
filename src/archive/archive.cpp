#include "archive/archive.h"

#include <cstring>
#include <new>
#include <string>

#include "archive/entry_name.h"
#include "archive/entry_reader.h"
#include "archive/zip_archive.h"
#include "os/dostime.h"
#include "os/folder.h"

namespace quarn {

thread_local std::int32_t lastArchiveResult = 0;

namespace {

std::int32_t Report(std::int32_t result) {
    lastArchiveResult = result;
    return result;
}

// The handle check every operation but the open starts with.
std::int32_t CheckHandle(const ArchiveHandle* handle) {
    if (handle == nullptr || handle->archive == nullptr) return ArchErrArgument;
    if (handle->kind != HandleForReading) return ArchErrHandleKind;
    return ArchOk;
}

// The folder base: the working directory and a separator. It must fit with
// its NUL; a working directory that cannot be read gives none either, since
// folders would then be made at the root.
bool TakeFolderBase(char* base) {
    if (!os::GetCurrentFolder(base, kMaxPath - 1)) return false;
    std::size_t n = std::strlen(base);
    base[n] = '\\';
    base[n + 1] = '\0';
    return true;
}

std::int32_t OpenZipArchive(ZipArchive* archive, const void* source, std::uint32_t length,
                            std::int32_t kind) {
    if (archive->directory != nullptr || archive->openIndex != -1) return ArchErrAlreadyOpen;
    if (!TakeFolderBase(archive->folderBase)) return ArchErrFolderTooLong;
    if (kind == SourceHandle && !os::IsDiskFile(reinterpret_cast<os::FileHandle>(source))) {
        return ArchErrNotDiskFile;
    }
    std::int32_t error = 0;
    ArchiveSource* opened = OpenSource(source, length, kind, &error);
    if (opened == nullptr) return error;
    archive->directory = OpenDirectory(opened);
    return lastOpenError == ErrNoMemory ? ArchErrNoMemory : lastOpenError;
}

// Windows attribute flags from the external attributes: the upper half read
// as a Unix mode, the lower as MS-DOS attributes.
std::uint32_t AttributesFrom(std::uint32_t a) {
    std::uint32_t attributes = os::kAttrNormal;
    if ((a & kUnixModeDirectory) != 0 || (a & os::kAttrDirectory) != 0) {
        attributes = os::kAttrDirectory | os::kAttrNormal;
    }
    if ((a & os::kAttrArchive) != 0) attributes |= os::kAttrArchive;
    if ((a & os::kAttrHidden) != 0) attributes |= os::kAttrHidden;
    if ((a & kUnixModeOwnerWrite) == 0 || (a & os::kAttrReadOnly) != 0) {
        attributes |= os::kAttrReadOnly;
    }
    if ((a & os::kAttrSystem) != 0) attributes |= os::kAttrSystem;
    return attributes;
}

// Reads the local extra field only to prove that it is there.
bool SkipLocalExtra(ArchiveSource* source, std::uint32_t position, std::uint32_t length) {
    if (SourceSeek(source, static_cast<std::int32_t>(position), SeekFromStart) != 0) return false;
    char scratch[1024];
    while (length > 0) {
        std::uint32_t n = length < sizeof scratch ? length : sizeof scratch;
        if (SourceRead(scratch, 1, n, source) != n) return false;
        length -= n;
    }
    return true;
}

// Reads the current entry's record, its local header checked, into the
// archive's cache; on failure the cache holds no entry.
std::int32_t CacheCurrentRecord(ZipArchive* archive) {
    ZipDirectory* directory = archive->directory;
    ZipEntry& record = archive->cachedEntry;
    archive->cachedIndex = -1;
    // A name cut to fit, or cut by a NUL, would stand for another file: such
    // a name, and one that cannot be read as text, fails the entry.
    std::string name;
    if (std::int32_t code = ReadEntryName(directory, &name); code != ArchOk) return code;
    std::memcpy(record.name, name.c_str(), name.size() + 1);
    const EntryInfo& info = directory->currentInfo;
    std::uint32_t varSize = 0, extraOffset = 0, extraLength = 0;
    if (CheckLocalHeader(directory, &varSize, &extraOffset, &extraLength) != 0) {
        return ArchErrLocalHeader;
    }
    if (!SkipLocalExtra(directory->source, directory->bytesBefore + extraOffset, extraLength)) {
        return ArchErrLocalExtra;
    }
    record.index = static_cast<std::int32_t>(directory->currentIndex);
    record.attributes = AttributesFrom(info.externalAttributes);
    record.compressedSize = info.compressedSize;
    record.uncompressedSize = info.uncompressedSize;
    os::FileTime utc;  // stays zero for a DOS time that is no valid date
    os::DosDateTimeToUtc(static_cast<std::uint16_t>(info.dosDateTime >> 16),
                         static_cast<std::uint16_t>(info.dosDateTime & 0xFFFF), &utc);
    record.accessTime = record.creationTime = record.writeTime = utc;
    archive->cachedIndex = record.index;
    return ArchOk;
}

}  // namespace

void CloseOpenEntry(ZipArchive* archive) {
    if (archive->openIndex == -1) return;
    CloseEntryData(archive->directory);
    archive->openIndex = -1;
}

bool WalkToEntry(ZipDirectory* directory, std::uint32_t index) {
    // The cursor stops on the header that could not be read, and it stays
    // unreadable: nothing at or after it can be reached. Walking there again
    // from the first entry would make a long directory with a false entry
    // count take quadratic time.
    if (!directory->currentValid && index >= directory->currentIndex) return false;
    if (index < directory->currentIndex) {
        if (GoToFirstEntry(directory) != 0) return false;
    }
    // A failed step never moves again, so the walk ends at the first failure.
    while (directory->currentIndex != index) {
        if (GoToNextEntry(directory) != 0) return false;
    }
    return directory->currentValid != 0;
}

std::int32_t GetEntryRecord(ZipArchive* archive, std::int32_t index, ZipEntry* entry) {
    ZipDirectory* directory = archive->directory;
    if (entry == nullptr || index < -1 || index >= static_cast<std::int64_t>(directory->entryCount)) {
        return ArchErrArgument;
    }
    CloseOpenEntry(archive);
    if (index == archive->cachedIndex && index != -1) {
        *entry = archive->cachedEntry;
        return ArchOk;
    }
    if (index == -1) {
        *entry = ZipEntry{};
        entry->index = static_cast<std::int32_t>(directory->entryCount);
        return ArchOk;
    }
    if (!WalkToEntry(directory, static_cast<std::uint32_t>(index))) return ArchErrCentralHeader;
    if (std::int32_t code = CacheCurrentRecord(archive); code != ArchOk) return code;
    *entry = archive->cachedEntry;
    return ArchOk;
}

ArchiveHandle* OpenArchive(const void* source, std::uint32_t length, std::int32_t kind) {
    auto* archive = new (std::nothrow) ZipArchive;
    if (archive == nullptr) {
        Report(ArchErrNoMemory);
        return nullptr;
    }
    if (Report(OpenZipArchive(archive, source, length, kind)) != ArchOk) {
        if (archive->directory != nullptr) CloseDirectory(archive->directory);
        delete archive;
        return nullptr;
    }
    auto* handle = new (std::nothrow) ArchiveHandle;
    if (handle == nullptr) {
        CloseDirectory(archive->directory);
        delete archive;
        Report(ArchErrNoMemory);
        return nullptr;
    }
    handle->kind = HandleForReading;
    handle->archive = archive;
    return handle;
}

std::int32_t GetEntry(ArchiveHandle* handle, std::int32_t index, ZipEntry* entry) {
    if (std::int32_t check = CheckHandle(handle); check != ArchOk) return Report(check);
    return Report(GetEntryRecord(handle->archive, index, entry));
}

std::int32_t FindEntry(ArchiveHandle* handle, const char* name, bool ignoreCase,
                       std::int32_t* index, ZipEntry* entry) {
    if (std::int32_t check = CheckHandle(handle); check != ArchOk) return Report(check);
    if (name == nullptr) return Report(ArchErrArgument);
    ZipArchive* archive = handle->archive;
    ZipDirectory* directory = archive->directory;
    std::int32_t mode = ignoreCase ? NameIgnoreCase : NameCaseSensitive;
    // The directory searches only from a readable header. One left unreadable
    // by an earlier request for a later entry must not hide the names before it.
    if (!directory->currentValid) GoToFirstEntry(directory);
    if (LocateEntry(directory, name, mode) != 0 || directory->currentIndex >= directory->entryCount) {
        if (index != nullptr) *index = -1;
        if (entry != nullptr) {
            *entry = ZipEntry{};
            entry->index = -1;
        }
        return Report(ArchErrNotFound);
    }
    CloseOpenEntry(archive);
    auto found = static_cast<std::int32_t>(directory->currentIndex);
    if (index != nullptr) *index = found;
    if (entry != nullptr) {
        std::int32_t result = GetEntryRecord(archive, found, entry);
        if (result != ArchOk) return Report(result);
    }
    return Report(ArchOk);
}

std::int32_t ExtractEntry(ArchiveHandle* handle, std::int32_t index, void* target,
                          std::uint32_t length, std::int32_t kind) {
    if (std::int32_t check = CheckHandle(handle); check != ArchOk) return Report(check);
    switch (kind) {
        case SourceHandle:
        case SourceFileName:
            return Report(ExtractToFileOrHandle(handle->archive, index, target, kind));
        case SourceMemory:
            return Report(ExtractToMemory(handle->archive, index, target, length));
        default:
            return Report(ArchErrArgument);
    }
}

std::int32_t CloseArchive(ArchiveHandle* handle) {
    if (std::int32_t check = CheckHandle(handle); check != ArchOk) return Report(check);
    ZipArchive* archive = handle->archive;
    CloseOpenEntry(archive);
    if (archive->directory != nullptr) CloseDirectory(archive->directory);
    delete archive;
    delete handle;
    return Report(ArchOk);
}

const char* ArchiveResultText(std::int32_t code) {
    switch (code) {
        case ArchOk: return "ok";
        case ArchErrDuplicateHandle: return "the file handle could not be duplicated";
        case ArchErrOpenFile: return "the file could not be opened or created";
        case ArchErrCentralHeader: return "the entry's central header cannot be read";
        case ArchErrWrite: return "the entry's data could not be read in full or written";
        case ArchErrNotFound: return "no entry has that name";
        case ArchDataDelivered: return "data delivered";
        case ArchErrLocalHeader: return "the local header disagrees with the central directory";
        case ArchErrLocalExtra: return "the local extra field cannot be read";
        case ArchErrCrc: return "the entry's data fails its CRC-32 check";
        case ArchErrEntryName: return "the stored name is too long or holds a NUL byte";
        case ArchErrFolderTooLong: return "the current folder is too long or cannot be read";
        case ArchErrNoMemory: return "out of memory";
        case ArchErrNameEncoding: return "the name is marked as UTF-8 but is not, or cannot be read in this system's code page";
        case ArchErrArgument: return "invalid argument";
        case ArchErrHandleKind: return "not an archive handle for reading";
        case ArchErrAlreadyOpen: return "the archive is already open";
        case ArchErrNotDiskFile: return "the handle is not a file on disk";
        case ArchErrEntryData: return "the entry's data could not be read in full";
        case ErrIo: return "no ZIP end record found, or the file cannot be read";
        case ErrBadArchive: return "not a valid single-disk ZIP archive";
        default: return "unknown error";
    }
}

}  // namespace quarn
