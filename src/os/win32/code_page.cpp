// Unmarked names in the ANSI code page, as the A functions of Windows read
// them, turned into UTF-8 by way of UTF-16.
#include "os/code_page.h"

#include <climits>

#include "windows_api.h"

namespace quarn::os {

bool CodePageNameToUtf8(std::string_view stored, std::string* out) {
    out->clear();
    if (stored.empty()) return true;
    if (stored.size() > INT_MAX) return false;
    const int size = static_cast<int>(stored.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, stored.data(), size, nullptr, 0);
    if (units <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, stored.data(), size, wide.data(), units) != units) return false;
    *out = win32::FromWide(wide);
    return true;
}

}  // namespace quarn::os
