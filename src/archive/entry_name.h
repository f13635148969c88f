// How an entry's stored name becomes the UTF-8 text that the reader hands
// out, searches and creates files by.
//
// - A Unicode path extra field (0x7075, version 1) whose CRC-32 matches the
//   stored name gives the name, when its text is UTF-8.
// - Otherwise a name flagged as UTF-8 (general-purpose bit 11) is used as it
//   is stored, and must be UTF-8.
// - An unflagged name means what it always has: the system's ANSI code page
//   on Windows, plain bytes on POSIX (os/code_page.h).
// Limits are the stored name's and the resulting text's, both in bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "archive/directory.h"

namespace quarn {

inline constexpr std::uint32_t kFlagUtf8Name = 0x0800;
inline constexpr std::uint16_t kUnicodePathExtra = 0x7075;

// stored: the name's bytes; extra: the central header's extra field. ArchOk
// with the text in *name; ArchErrEntryName for a NUL or a stored name or
// text of kMaxPath bytes or more; ArchErrNameEncoding for a flagged name
// that is not UTF-8, or an unflagged one the system cannot read.
std::int32_t DecodeEntryName(std::string_view stored, std::uint32_t flags,
                             std::span<const std::uint8_t> extra, std::string* name);

// Reads and decodes the name of the entry at the directory's cursor:
// ArchErrCentralHeader when its header cannot be read, ArchErrNoMemory, or
// DecodeEntryName's result.
std::int32_t ReadEntryName(ZipDirectory* directory, std::string* name);

}  // namespace quarn
