// DOS date and time, read as local time, to a UTC file time.
// Win32: DosDateTimeToFileTime then LocalFileTimeToFileTime. POSIX: the same
// fields through the C library's local-time rules.
//
// The two differ in one way: Windows applies the zone's offset in force now
// (summer time or not) to every date, the C library the offset in force on
// that date. A summer date converted in winter comes out an hour apart.
#pragma once

#include <cstdint>

#include "os/file.h"

namespace quarn::os {

// False, with *utc untouched, when the fields are no valid date and time
// (month outside 1-12, day outside the month, hour > 23, minute > 59,
// second > 59).
bool DosDateTimeToUtc(std::uint16_t dosDate, std::uint16_t dosTime, FileTime* utc);

}  // namespace quarn::os
