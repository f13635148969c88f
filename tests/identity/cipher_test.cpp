#include "identity/cipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace quarn {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Deciphered(std::uint32_t key, Bytes bytes) {
    IdentityCipher cipher(key);
    EXPECT_TRUE(cipher.Apply(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    return bytes;
}

// Values worked out by hand from the six steps of the hash.
TEST(IdentityCipher, MixKnownValues) {
    struct Case {
        std::uint32_t in, out;
    } cases[] = {
        {0x00000000, 0x6B4ED927},
        {0x00000001, 0xB48681B6},
        {0xFFFFFFFF, 0xFE64C182},
        {0x12345678, 0x027C5489},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(IdentityCipher::Mix(c.in), c.out);
    }
}

TEST(IdentityCipher, ApplyKnownStreams) {
    struct Case {
        std::uint32_t key;
        Bytes in, out;
        std::uint32_t state;
    } cases[] = {
        // Bytes 0x80 and up feed back as 128..255, never as negatives.
        {0x12345678, {0x00, 0x41, 0xFF, 0x80, 0x10}, {0x78, 0xC8, 0x60, 0xF8, 0xC5}, 0x4E00E3DC},
        {0, {'q', 'u', 'a', 'r', 'n'}, {0x71, 0x93, 0x63, 0x83, 0xA7}, 0x1C576592},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        IdentityCipher cipher(c.key);
        Bytes bytes = c.in;
        EXPECT_TRUE(cipher.Apply(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
        EXPECT_EQ(bytes, c.out);
        EXPECT_EQ(cipher.state(), c.state);
        EXPECT_EQ(cipher.key(), c.key);
    }
}

TEST(IdentityCipher, FirstByteIsXoredWithTheKeysLowByte) {
    for (std::uint32_t key : {0u, 1u, 0xA5u, 0x12345600u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(key);
        Bytes out = Deciphered(key, {0x3C, 0x00, 0x00});
        EXPECT_EQ(out[0], static_cast<std::uint8_t>(0x3C ^ (key & 0xFF)));
    }
}

TEST(IdentityCipher, EmptyApplyChangesNothing) {
    IdentityCipher cipher(0xDEADBEEF);
    std::uint8_t byte = 0x5A;
    EXPECT_TRUE(cipher.Apply(&byte, 0));
    EXPECT_TRUE(cipher.Apply(nullptr, 0));
    EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(cipher.state(), 0xDEADBEEFu);
}

TEST(IdentityCipher, SplitApplyEqualsOneApply) {
    Bytes whole(97);
    for (std::size_t i = 0; i < whole.size(); ++i) whole[i] = static_cast<std::uint8_t>(i * 37 + 11);
    const Bytes once = Deciphered(0x00C0FFEE, whole);
    for (std::uint32_t split : {0u, 1u, 50u, 96u, 97u}) {
        SCOPED_TRACE(split);
        Bytes pieces = whole;
        IdentityCipher cipher(0x00C0FFEE);
        cipher.Apply(pieces.data(), split);
        cipher.Apply(pieces.data() + split, static_cast<std::uint32_t>(pieces.size()) - split);
        EXPECT_EQ(pieces, once);
    }
}

// The state follows the input bytes: one changed byte alters everything
// after it, and a second pass is not an inverse beyond the first byte.
TEST(IdentityCipher, StateFollowsTheInput) {
    const Bytes a = Deciphered(7, {1, 2, 3, 4, 5, 6});
    const Bytes b = Deciphered(7, {1, 2, 9, 4, 5, 6});
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 2), Bytes(b.begin(), b.begin() + 2));
    EXPECT_NE(Bytes(a.begin() + 3, a.end()), Bytes(b.begin() + 3, b.end()));

    const Bytes twice = Deciphered(7, a);
    EXPECT_EQ(twice[0], 1);
    EXPECT_NE(twice, (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(IdentityCipher, SetKeyRestartsTheStream) {
    IdentityCipher cipher(99);
    Bytes first = {10, 20, 30};
    cipher.Apply(first.data(), 3);
    EXPECT_EQ(cipher.key(), 99u);
    cipher.SetKey(99);
    EXPECT_EQ(cipher.state(), 99u);
    Bytes again = {10, 20, 30};
    cipher.Apply(again.data(), 3);
    EXPECT_EQ(again, first);

    IdentityCipher zero;
    EXPECT_EQ(zero.key(), 0u);
    EXPECT_EQ(zero.state(), 0u);
}

}  // namespace
}  // namespace quarn
