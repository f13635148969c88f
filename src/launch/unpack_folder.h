// Unpacks a whole ZIP archive held in memory into one folder: the folder is
// made the working directory, every entry is extracted by index to a file
// (or folder) of its stored name, and the working directory is restored.
//
// The directory is read first on one handle; then several workers, each
// with its own handle over the same block, take the entries from a shared
// queue, a few of the largest first. Files, attributes, times and the
// result (its failure list in entry order) are those of one worker: entries
// whose names would meet on one path are installed in entry order by one.
//
// An entry whose name could leave the folder or name a device is not
// extracted and counts as failed. The unpacking is complete when the archive
// opened and every entry was installed with intact data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quarn {

// Reasons beyond the archive reader's result codes.
enum UnpackCode : std::int32_t {
    UnpackErrUnsafeName = 0x10000001,   // the entry's name is refused
    UnpackErrSaveFolder = 0x10000002,   // the working directory could not be saved
    UnpackErrEnterFolder = 0x10000003,  // the target folder could not be entered
};

struct UnpackFailure {
    std::int32_t index = 0;
    std::string name;       // as stored; empty when the record was unreadable
    std::int32_t code = 0;  // an ArchResult or UnpackCode
};

// A damaged directory may fail all of 65535 entries; the first ones tell
// what went wrong.
inline constexpr std::size_t kMaxListedFailures = 100;

struct UnpackResult {
    bool complete = false;
    std::int32_t openResult = 0;  // 0, the failed open's code, or an UnpackCode
    std::uint32_t entryCount = 0;
    std::uint32_t failedEntries = 0;      // every entry not installed
    std::vector<UnpackFailure> failures;  // the first kMaxListedFailures of them
};

inline constexpr std::uint32_t kMaxUnpackWorkers = 8;

// QUARN_UNPACK_WORKERS (1 to kMaxUnpackWorkers) when set, else the
// processor count capped at kMaxUnpackWorkers.
std::uint32_t UnpackWorkerCount();
// The same rule over a given setting (nullptr for none) and processor count
// (0 when unknown); a setting out of range or not a plain number is ignored.
std::uint32_t UnpackWorkerCount(const char* fixed, unsigned processors);

// folder: the target, or nullptr for the working directory. Its last level
// is created when missing. workers: 0 for UnpackWorkerCount().
UnpackResult UnpackToFolder(const void* block, std::uint32_t size, const char* folder,
                            std::uint32_t workers = 0);

// True for a relative name that stays inside the folder and names no device:
// not empty, no leading '/' or '\', no ':', no component of dots alone other
// than ".", and no reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9)
// as a component, with or without extension.
bool IsSafeEntryName(const char* name);

// A short English text for an ArchResult or UnpackCode.
const char* UnpackResultText(std::int32_t code);

}  // namespace quarn
