// Archives made to hurt an installer, each with what installing it must
// give: lying sizes, counts and offsets, records that share or overlap data,
// comments at the edge of the end-record search, and names aimed outside the
// folder or at devices. The folder-unpacking tests install them directly;
// the package tests write them out and install them through the launcher.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "launch/unpack_folder.h"
#include "support/zip_builder.h"

namespace quarn::testing {

using Failures = std::vector<std::pair<std::int32_t, std::int32_t>>;  // (index, code)
using Files = std::map<std::string, std::string>;                     // name: data

struct HostileArchive {
    std::string label;
    std::string bytes;
    std::int32_t openResult;   // what opening it gives (0: it opens)
    std::uint32_t entryCount;  // as the end record claims
    Files installed;           // entries that must come out intact
    Failures failures;         // every entry that must be reported, in order
};

// The (index, code) pairs an unpacking lists.
Failures FailureCodes(const UnpackResult& r);

// Every index from first to last (inclusive) failing with one code.
Failures Failing(std::int32_t first, std::int32_t last, std::int32_t code);

// The archive with the central record of one entry pointed at another
// local header.
std::string WithCentralLocalOffset(Zip zip, std::size_t entry, std::uint32_t offset);

// True when every byte is ASCII.
bool IsAscii(const std::string& name);

// How the reader gives a name that the corpus stores flagged as UTF-8 when
// it is UTF-8 and unflagged when not: as it is, or read in the system's
// code page (os/code_page.h).
std::string NameAsRead(const std::string& stored);

// Names that must never become files: they climb out, are absolute, name a
// drive, a stream or a device, or are empty.
const std::vector<std::string>& UnsafeEntryNames();

// Every path below an install folder with what it holds: a file's data, its
// write time (not for the names in timeless) and whether it is writable, or
// "<folder>". Empty when the folder is missing.
Files InstalledTree(const std::filesystem::path& folder, const std::set<std::string>& timeless = {});

// The whole corpus; labels are unique and safe as file names.
std::vector<HostileArchive> HostileArchives();
// One of them; an empty label when there is none of that name.
HostileArchive HostileArchiveNamed(const std::string& label);

}  // namespace quarn::testing
