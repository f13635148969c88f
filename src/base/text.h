// Small text helpers shared by every room, the seam included: ASCII letter
// case and path separators. Character classes are plain ASCII whatever the
// locale; only 'A'-'Z' and 'a'-'z' change case, every other byte (UTF-8 and
// code-page bytes above 0x7F among them) stays as it is. '\' and '/' both
// separate path components.
#pragma once

#include <cstddef>
#include <string_view>

namespace quarn {

constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// UTF-16 code units: the same 52 letters, nothing else.
constexpr char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

constexpr bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

constexpr bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// Where the file name begins: after the last separator, or the whole text;
// nullptr for nullptr.
constexpr const char* FileNamePart(const char* path) {
    if (path == nullptr) return nullptr;
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (IsPathSeparator(*p)) name = p + 1;
    }
    return name;
}

}  // namespace quarn
