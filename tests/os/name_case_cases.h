// Names in other scripts that differ only in letter case: é/É, ж/Ж, and a
// character outside the BMP that has no case.
#pragma once

namespace quarn::os {

inline constexpr const char* kLowerOtherScripts = "\xC3\xA9t\xC3\xA9/\xD0\xB6/\xF0\x9F\x8E\xAE";
inline constexpr const char* kUpperOtherScripts = "\xC3\x89T\xC3\x89/\xD0\x96/\xF0\x9F\x8E\xAE";

}  // namespace quarn::os
