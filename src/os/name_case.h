// Letter case as the file system compares names. On Windows two names that
// differ only in case, in any script ("É" and "é", "Ж" and "ж"), are one
// file; on POSIX only the launcher's own rules apply, which fold ASCII.
#pragma once

#include <string>
#include <string_view>

namespace quarn::os {

// The UTF-8 name with its letters in upper case: Win32 by the invariant
// rules that NTFS follows (ASCII only when the system cannot), POSIX ASCII
// only. Bytes that are not UTF-8 pass as they are.
std::string UpperCaseName(std::string_view name);

}  // namespace quarn::os
