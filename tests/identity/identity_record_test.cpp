#include "identity/identity_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "quarn/identity_encoder.h"

namespace quarn {
namespace {

using namespace std::string_literals;

// The symbol text that decodes to these record bytes (zero-filled).
std::string SymbolsOf(std::string record) {
    record.append((5 - record.size() % 5) % 5, '\0');
    tool::Encipher(0, record);
    return tool::EncodeSymbols(record);
}

std::vector<std::uint8_t> Decoded(const std::string& symbols) {
    std::uint8_t* bytes = nullptr;
    std::uint32_t count = 0;
    EXPECT_TRUE(DecodeSymbolText(symbols.c_str(), static_cast<std::uint32_t>(symbols.size()),
                                 &bytes, &count));
    return bytes == nullptr ? std::vector<std::uint8_t>{}
                            : std::vector<std::uint8_t>(bytes, bytes + count);
}

TEST(SymbolText, DecodesGroupsOfEightIntoFiveBytes) {
    struct Case {
        std::string symbols;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"ABCDEFGH", {0xA0, 0x01, 0x62, 0xC3, 0x24}},
        {"========", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"#&*-+=AA", {0xFA, 0x7B, 0x1C, 0x1D, 0x1E}},
        // Bytes outside the alphabet count as 'A'.
        {"abc.!~\x01\xFF", {0, 0, 0, 0, 0}},
        // Groups follow each other without gaps; a partial group is left out.
        {"ABCDEFGH========ABC", {0xA0, 0x01, 0x62, 0xC3, 0x24, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.symbols);
        EXPECT_EQ(Decoded(c.symbols), c.bytes);
    }
}

TEST(SymbolText, EncoderIsTheInverse) {
    std::string bytes;
    for (int i = 0; i < 100; ++i) bytes += static_cast<char>(i * 73 + 5);
    const std::string symbols = tool::EncodeSymbols(bytes);
    ASSERT_EQ(symbols.size(), 160u);
    const auto decoded = Decoded(symbols);
    EXPECT_EQ(std::string(decoded.begin(), decoded.end()), bytes);
}

struct Parsed {
    bool ok = false;
    std::string identity = "(unset)";
    std::string lead = "(unset)";
};

// Outputs left untouched show as "(unset)", a none identity as "(none)".
Parsed Parse(const char* symbols) {
    const char* sentinel = "(unset)";
    const char* identity = sentinel;
    const char* lead = sentinel;
    Parsed p;
    p.ok = ParseIdentityRecord(symbols, &identity, &lead);
    p.identity = identity == nullptr ? "(none)" : identity;
    p.lead = lead == nullptr ? "(none)" : lead;
    return p;
}

// Record fixtures below: two checksum bytes (low byte first), the length
// byte, then lead text, zero, identifier. The checksum is the sum of every
// byte after the length byte taken as a signed 8-bit value, modulo 65536;
// each was worked out once with a line of Python,
//   sum(b - 256 if b > 127 else b for b in body) & 0xFFFF,
// and written in as its two bytes.

TEST(IdentityRecord, AcceptsWellFormedRecords) {
    struct Case {
        const char* what;
        std::string record;
        std::string identity, lead;
    } cases[] = {
        {"a.b, empty lead", "\xF1\x00\x00\x00" "a.b"s, "a.b", ""},
        {"lead and identifier", "\x82\x08\x05" "hello\0Some Owner.My Game!"s, "someowner.mygame", "hello"},
        {"identifier ends a group, no fill", "\x1D\x02\x00" "\0abc.de"s, "abc.de", ""},
        {"empty halves", "\x2E\x00\x00" "\0."s, ".", ""},
        {"no dot: no identity", "\xF5\x02\x02" "hi\0nodot"s, "(none)", "hi"},
        // The zero after the lead text goes with the fill: 4 + L == count + 1.
        {"empty identifier", "\xD1\x00\x02" "hi\0"s, "(none)", "hi"},
        // A zero inside the lead ends it; the rest up to 3 + L is not looked at,
        // but is summed as signed bytes (0x90 counts as -112).
        {"early end of lead", "\x10\x01\x03" "a\0\x90\0x.y"s, "x.y", "a"},
        {"printable edges", "\xAA\x01\x02" " ~\0~ .@"s, ".@", " ~"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string symbols = SymbolsOf(c.record);
        const Parsed p = Parse(symbols.c_str());
        EXPECT_TRUE(p.ok);
        EXPECT_EQ(p.identity, c.identity);
        EXPECT_EQ(p.lead, c.lead);
    }
}

TEST(IdentityRecord, RejectsDamagedRecords) {
    const std::string good = SymbolsOf("\xF1\x00\x00" "\0a.b"s);
    struct Case {
        const char* what;
        std::string symbols;
    } cases[] = {
        {"empty text", ""},
        {"161 symbols", std::string(161, 'A')},
        {"168 symbols", good + std::string(168 - good.size(), 'A')},
        {"not a multiple of 8", good + "A"},
        {"all zero", SymbolsOf(std::string(10, '\0'))},
        {"checksum high byte first", SymbolsOf("\x00\xF1\x00" "\0a.b"s)},
        {"checksum off by one", SymbolsOf("\xF2\x00\x00\x00" "a.b"s)},
        {"unsigned checksum", SymbolsOf("\x10\x02\x03" "a\0\x90\0x.y"s)},
        {"length byte 128", SymbolsOf("\xF1\x00\x80" "\0a.b"s)},
        {"length byte 255", SymbolsOf("\xF1\x00\xFF" "\0a.b"s)},
        // 13 bytes: a length of 9 would still fit (the identifier then empty).
        {"lead runs past the record", SymbolsOf("\x05\x03\x0A" "hello\0a.b"s)},
        {"no zero after the lead", SymbolsOf("\x54\x01\x01" "ab.c"s)},
        {"tab in the lead", SymbolsOf("\x5B\x01\x02" "a\t\0a.b"s)},
        {"0x7F in the lead", SymbolsOf("\x70\x01\x01" "\x7F\0a.b"s)},
        {"tab in the identifier", SymbolsOf("\xFA\x00\x00" "\0a.\tb"s)},
        {"0x7F in the identifier", SymbolsOf("\x70\x01\x00" "\0a.b\x7F"s)},
        {"0x80 in the identifier", SymbolsOf("\x71\x00\x00" "\0a\x80.b"s)},
        {"too short", SymbolsOf("\x01\x00"s)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Parsed p = Parse(c.symbols.c_str());
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.identity, "(unset)");
        EXPECT_EQ(p.lead, "(unset)");
    }
    EXPECT_FALSE(ParseIdentityRecord(nullptr, nullptr, nullptr));
}

TEST(IdentityRecord, OutputsAreOptional) {
    const std::string symbols = SymbolsOf("\x69\x01\x01" "x\0a.b"s);
    EXPECT_TRUE(ParseIdentityRecord(symbols.c_str(), nullptr, nullptr));
}

TEST(IdentityNormalisation, KeepsLettersDigitsAndAtLowerCased) {
    struct Case {
        const char* in;
        const char* out;  // nullptr: none
    } cases[] = {
        {"Some Owner.My Game!", "someowner.mygame"},
        {"A.B.C", "ab.c"},
        {"@Owner.Game", "@owner.game"},
        {"!!.??", "."},
        {".", "."},
        {"Owner.", "owner."},
        {"x\xC4y.\xE9Z9", "xy.z9"},
        {"nodot", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        char text[64];
        std::strcpy(text, c.in);
        char* result = NormaliseIdentity(text);
        if (c.out == nullptr) {
            EXPECT_EQ(result, nullptr);
            EXPECT_STREQ(text, c.in);  // left as it was
        } else {
            EXPECT_EQ(result, text);
            EXPECT_STREQ(text, c.out);
        }
    }
    EXPECT_EQ(NormaliseIdentity(nullptr), nullptr);
}

TEST(IdentityNormalisation, LongTextsWorkInPlace) {
    std::string text = std::string(300, 'O') + "." + std::string(300, 'G');
    EXPECT_NE(NormaliseIdentity(text.data()), nullptr);
    EXPECT_STREQ(text.c_str(), (std::string(300, 'o') + "." + std::string(300, 'g')).c_str());
}

TEST(IdentityNormalisation, FilterPartAndAlnum) {
    char part[] = "A-b_C 9@z";
    EXPECT_EQ(FilterIdentityPart(part), part);
    EXPECT_STREQ(part, "abc9@z");
    char empty[] = "";
    EXPECT_STREQ(FilterIdentityPart(empty), "");
    EXPECT_EQ(FilterIdentityPart(nullptr), nullptr);

    for (int c = -1; c < 256; ++c) {
        const bool expected = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        EXPECT_EQ(IsAsciiAlnum(c), expected) << c;
    }
}

}  // namespace
}  // namespace quarn
