// UTF-8 text, the form of every name and path inside the program, and its
// conversion to and from UTF-16, which only the Win32 side of the seam
// speaks. Strict: overlong forms, encoded surrogates and code points past
// U+10FFFF are not UTF-8. Header-only, no locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quarn {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point that starts at text[at] and its length in bytes; 0 bytes
// when no valid UTF-8 sequence starts there.
struct Utf8Step {
    char32_t codePoint = 0;
    std::size_t length = 0;
};

constexpr Utf8Step DecodeUtf8At(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const std::size_t left = text.size() - at;
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t code = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, smallest = 0x10000;
    } else {
        return {};
    }
    if (left < length) return {};
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {};
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
    return {code, length};
}

constexpr bool IsValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Step step = DecodeUtf8At(text, at);
        if (step.length == 0) return false;
        at += step.length;
    }
    return true;
}

// The longest start of text that holds at most limit bytes and ends between
// two code points (text is taken as UTF-8; stray bytes count as one each).
constexpr std::size_t Utf8PrefixLength(std::string_view text, std::size_t limit) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t length = DecodeUtf8At(text, end).length;
        const std::size_t next = end + (length != 0 ? length : 1);
        if (next > limit) break;
        end = next;
    }
    return end;
}

// Appends the UTF-16 form of text to out (std::u16string, or std::wstring
// where wchar_t is 16 bits); false, with out unspecified, for text that is
// not UTF-8.
template <class Wide>
bool AppendUtf16(std::string_view text, Wide& out) {
    using Unit = typename Wide::value_type;
    static_assert(sizeof(Unit) == 2, "UTF-16 code units");
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Step step = DecodeUtf8At(text, at);
        if (step.length == 0) return false;
        at += step.length;
        if (step.codePoint < 0x10000) {
            out.push_back(static_cast<Unit>(step.codePoint));
        } else {
            const char32_t v = step.codePoint - 0x10000;
            out.push_back(static_cast<Unit>(0xD800 + (v >> 10)));
            out.push_back(static_cast<Unit>(0xDC00 + (v & 0x3FF)));
        }
    }
    return true;
}

inline void AppendCodePoint(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Appends the UTF-8 form of count UTF-16 code units. A surrogate without its
// partner, which Windows names may hold, becomes U+FFFD.
template <class Unit>
void AppendUtf8(const Unit* units, std::size_t count, std::string& out) {
    static_assert(sizeof(Unit) == 2, "UTF-16 code units");
    for (std::size_t i = 0; i < count; ++i) {
        const auto unit = static_cast<char32_t>(static_cast<std::uint16_t>(units[i]));
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
            const auto low = static_cast<char32_t>(static_cast<std::uint16_t>(units[i + 1]));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendCodePoint(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
                ++i;
                continue;
            }
        }
        AppendCodePoint(unit >= 0xD800 && unit <= 0xDFFF ? kReplacementCharacter : unit, out);
    }
}

}  // namespace quarn
