// Win32: the invariant upper case, through UTF-16.
#include "os/name_case.h"

#include <climits>

#include "base/text.h"
#include "base/utf8.h"
#include "windows_api.h"

namespace quarn::os {

namespace win32 {

void FoldCase(std::wstring* text) {
    if (text->empty() || text->size() > INT_MAX) return;
    const int count = static_cast<int>(text->size());
    std::wstring folded(text->size(), L'\0');
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text->data(), count, folded.data(),
                      count, nullptr, nullptr, 0) == count) {
        *text = std::move(folded);
        return;
    }
    for (wchar_t& c : *text) c = static_cast<wchar_t>(AsciiUpper(static_cast<char16_t>(c)));
}

}  // namespace win32

std::string UpperCaseName(std::string_view name) {
    std::wstring wide;
    if (!win32::ToWide(name, &wide)) {
        std::string upper(name);
        for (char& c : upper) c = AsciiUpper(c);
        return upper;
    }
    win32::FoldCase(&wide);
    return win32::FromWide(wide);
}

}  // namespace quarn::os
