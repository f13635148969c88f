#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace quarn {
namespace {

TEST(Utf8, TellsValidFromInvalid) {
    struct Case {
        const char* what;
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"empty", "", true},
        {"ASCII", "data/maps/a.txt", true},
        {"two bytes", "\xC3\xA9t\xC3\xA9", true},
        {"three bytes", "\xE6\x97\xA5\xE6\x9C\xAC", true},
        {"four bytes", "\xF0\x9F\x8E\xAE", true},
        {"last code point", "\xF4\x8F\xBF\xBF", true},
        {"lone continuation", "\x80", false},
        {"cut sequence", "\xE6\x97", false},
        {"overlong slash", "\xC0\xAF", false},
        {"overlong three", "\xE0\x80\xAF", false},
        {"encoded surrogate", "\xED\xA0\x80", false},
        {"past U+10FFFF", "\xF4\x90\x80\x80", false},
        {"code page byte", "caf\xE9", false},
        {"five-byte lead", "\xF8\x88\x80\x80\x80", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.what;
}

TEST(Utf8, RoundTripsThroughUtf16) {
    const std::string text = "donn\xC3\xA9" "es/\xE6\x97\xA5\xE6\x9C\xAC/\xF0\x9F\x8E\xAE.txt";
    std::u16string wide;
    ASSERT_TRUE(AppendUtf16(text, wide));
    EXPECT_EQ(wide, u"donn\u00E9es/\u65E5\u672C/\U0001F3AE.txt");
    std::string back;
    AppendUtf8(wide.data(), wide.size(), back);
    EXPECT_EQ(back, text);

    std::u16string refused;
    EXPECT_FALSE(AppendUtf16("caf\xE9", refused));
}

TEST(Utf8, LoneSurrogatesBecomeReplacementCharacters) {
    const char16_t units[] = {u'a', 0xD800, u'b', 0xDC00};
    std::string out;
    AppendUtf8(units, 4, out);
    EXPECT_EQ(out, "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(Utf8, PrefixEndsBetweenCodePoints) {
    const std::string text = "a\xE6\x97\xA5z";  // 1 + 3 + 1 bytes
    EXPECT_EQ(Utf8PrefixLength(text, 0), 0u);
    EXPECT_EQ(Utf8PrefixLength(text, 1), 1u);
    EXPECT_EQ(Utf8PrefixLength(text, 3), 1u);
    EXPECT_EQ(Utf8PrefixLength(text, 4), 4u);
    EXPECT_EQ(Utf8PrefixLength(text, 99), 5u);
    EXPECT_EQ(Utf8PrefixLength("\xFF\xFF", 1), 1u);
}

}  // namespace
}  // namespace quarn
