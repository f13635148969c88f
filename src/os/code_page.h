// Names stored without a mark of their encoding, as the system reads them.
// ZIP entry names without the UTF-8 flag have always meant the system's
// ANSI code page on Windows and plain bytes on POSIX; stored archives rely
// on that, so such a name turns into the UTF-8 text that the rest of the
// program speaks through this one call.
#pragma once

#include <string>
#include <string_view>

namespace quarn::os {

// Win32: the ANSI code page's text as UTF-8. POSIX: the bytes as they are.
// False when the system cannot convert it (out then unspecified).
bool CodePageNameToUtf8(std::string_view stored, std::string* out);

}  // namespace quarn::os
