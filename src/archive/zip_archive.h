// The object behind an ArchiveHandle, shared by archive.cpp (open, records,
// names) and extract.cpp (extraction to a file, a handle or memory).
//
// A ZipArchive owns its directory. It keeps the record of the last entry read
// (cachedEntry, valid for cachedIndex) and, for memory extraction spread over
// calls, the index of the entry left open (openIndex, -1 for none); every
// operation on another entry closes that one first. The functions below take
// a checked archive and give ArchResult codes; they do not set
// lastArchiveResult, the public interface does.
#pragma once

#include <cstdint>
#include <memory>

#include "archive/archive.h"
#include "archive/directory.h"

namespace quarn {

struct ZipArchive {
    ZipDirectory* directory = nullptr;  // owned
    std::int32_t openIndex = -1;
    ZipEntry cachedEntry;
    std::int32_t cachedIndex = -1;
    char folderBase[kMaxPath] = {};
    // Taken at the first extraction to a file or handle and kept to the close:
    // large blocks keep inflate in its fast loop and cut the system calls.
    std::unique_ptr<std::uint8_t[]> transferBuffer;
};

inline constexpr std::uint32_t kTransferSize = 0x40000;

// Closes an entry kept open for memory extraction, if any.
void CloseOpenEntry(ZipArchive* archive);

// Moves the directory's cursor to index; false when a step fails.
bool WalkToEntry(ZipDirectory* directory, std::uint32_t index);

// GetEntry's work on a checked handle.
std::int32_t GetEntryRecord(ZipArchive* archive, std::int32_t index, ZipEntry* entry);

std::int32_t ExtractToFileOrHandle(ZipArchive* archive, std::int32_t index, void* target,
                                   std::int32_t kind);
std::int32_t ExtractToMemory(ZipArchive* archive, std::int32_t index, void* target,
                             std::uint32_t length);

// Creates each folder along the relative path under base (which ends in a
// separator), outermost first. Reports nothing; a joined path that would not
// fit kMaxPath bytes is not attempted.
void CreateFolders(const char* base, const char* path);

}  // namespace quarn
