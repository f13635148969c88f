#include "quarn/identity_encoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "identity/cipher.h"
#include "identity/identity_record.h"

namespace quarn {
namespace {

using namespace std::string_literals;

// The resource read the way the launcher reads it beside a payload of
// payloadSize bytes.
struct Decoded {
    bool ok = false;
    std::string identity = "(none)";
    std::string lead;
};

Decoded DecodeGameId(const std::string& resource, std::uint32_t payloadSize) {
    Decoded d;
    const char* identity = nullptr;
    const char* lead = nullptr;
    d.ok = DecodeGameIdResource(reinterpret_cast<const std::uint8_t*>(resource.data()),
                                static_cast<std::uint32_t>(resource.size()), payloadSize,
                                &identity, &lead);
    if (identity != nullptr) d.identity = identity;
    if (lead != nullptr) d.lead = lead;
    return d;
}

std::string GameId(const std::string& owner, const std::string& game, const std::string& lead,
                   std::uint32_t payloadSize) {
    std::string resource, error;
    EXPECT_TRUE(tool::MakeGameIdResource(owner, game, lead, payloadSize, &resource, &error)) << error;
    return resource;
}

TEST(IdentityEncoder, RecordLayout) {
    std::string record, error;
    ASSERT_TRUE(tool::BuildIdentityRecord("a", "b", "", &record, &error));
    EXPECT_EQ(record, "\xF1\x00\x00\x00" "a.b\0\0\0"s);
    // 3 + 1 + 6 bytes: a whole group, no fill.
    ASSERT_TRUE(tool::BuildIdentityRecord("abc", "de", "", &record, &error));
    EXPECT_EQ(record.size(), 10u);
    EXPECT_NE(record.back(), '\0');
    // The checksum's high byte comes second.
    ASSERT_TRUE(tool::BuildIdentityRecord("zzz", "zzz", "~~~", &record, &error));
    const unsigned sum = 3 * '~' + 6 * 'z' + '.';
    EXPECT_EQ(static_cast<unsigned char>(record[0]), sum & 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(record[1]), sum >> 8);
    EXPECT_EQ(record[2], 3);
}

TEST(IdentityEncoder, RoundTripsThroughTheDecoder) {
    const std::string longestLead(95, 'L');  // 3 + 95 + 1 + "." fills 100 bytes
    struct Case {
        std::string owner, game, lead, identity;
    } cases[] = {
        {"owner", "game", "", "owner.game"},
        {"", "", "", "."},
        {"", "game", "", ".game"},
        {"owner", "", "", "owner."},
        {"@me", "9lives", " Lead ~text! ", "@me.9lives"},
        {"a", "b", "", "a.b"},        // needs fill
        {"abc", "de", "", "abc.de"},  // ends a group
        {"", "", longestLead, "."},
        {std::string(48, 'o'), std::string(47, 'g'), "",
         std::string(48, 'o') + "." + std::string(47, 'g')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.owner + "." + c.game + " / " + c.lead);
        const std::string resource = GameId(c.owner, c.game, c.lead, 123456);
        ASSERT_FALSE(resource.empty());
        EXPECT_EQ(resource.back(), '\0');
        EXPECT_LE(resource.size(), kMaxSymbols + 1);
        const Decoded d = DecodeGameId(resource, 123456);
        EXPECT_TRUE(d.ok);
        EXPECT_EQ(d.identity, c.identity);
        EXPECT_EQ(d.lead, c.lead);
    }
}

// The key's low byte decides the first enciphered byte, so every low byte
// value makes some stored byte zero somewhere in this set.
TEST(IdentityEncoder, EveryPayloadSizeKeysItsOwnResource) {
    for (std::uint32_t low = 0; low < 256; ++low) {
        for (std::uint32_t size : {low, low | 0x00012300u, low | 0xFFFFFF00u}) {
            SCOPED_TRACE(size);
            const std::string resource = GameId("owner", "game", "lead", size);
            const Decoded d = DecodeGameId(resource, size);
            ASSERT_TRUE(d.ok);
            EXPECT_EQ(d.identity, "owner.game");
            EXPECT_EQ(d.lead, "lead");
            EXPECT_FALSE(DecodeGameId(resource, size + 1).ok);
        }
    }
}

TEST(IdentityEncoder, EncipherIsUndoneByApply) {
    std::string plain;
    for (int i = 0; i < 300; ++i) plain += static_cast<char>(i * 131 + 7);
    for (std::uint32_t key : {0u, 1u, 0x80u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(key);
        std::string bytes = plain;
        tool::Encipher(key, bytes);
        EXPECT_NE(bytes, plain);
        IdentityCipher(key).Apply(reinterpret_cast<std::uint8_t*>(bytes.data()),
                                  static_cast<std::uint32_t>(bytes.size()));
        EXPECT_EQ(bytes, plain);
    }
    std::string config = tool::MakeGameConfigResource(plain);
    IdentityCipher().Apply(reinterpret_cast<std::uint8_t*>(config.data()),
                           static_cast<std::uint32_t>(config.size()));
    EXPECT_EQ(config, plain);
    EXPECT_EQ(tool::MakeGameConfigResource(""), "");
}

TEST(IdentityEncoder, RefusesWhatTheLauncherCannotRead) {
    struct Case {
        const char* what;
        std::string owner, game, lead;
    } cases[] = {
        {"upper case owner", "Owner", "game", ""},
        {"dot in the game", "owner", "a.b", ""},
        {"space in the owner", "my owner", "game", ""},
        {"dash in the game", "owner", "my-game", ""},
        {"byte 0xE9 in the game", "owner", "caf\xE9", ""},
        {"NUL in the owner", "ow\0ner"s, "game", ""},
        {"128-byte lead", "o", "g", std::string(128, 'x')},
        {"127-byte lead: too many symbols", "o", "g", std::string(127, 'x')},
        {"tab in the lead", "o", "g", "a\tb"},
        {"0x7F in the lead", "o", "g", "a\x7F"},
        {"0x80 in the lead", "o", "g", "\x80"},
        {"96-byte lead: too many symbols", "", "", std::string(96, 'x')},
        {"97-byte identifier", std::string(48, 'o'), std::string(48, 'g'), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string record = "kept", resource = "kept", error;
        EXPECT_FALSE(tool::BuildIdentityRecord(c.owner, c.game, c.lead, &record, &error));
        EXPECT_EQ(record, "kept");
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
        error.clear();
        EXPECT_FALSE(tool::MakeGameIdResource(c.owner, c.game, c.lead, 1000, &resource, &error));
        EXPECT_EQ(resource, "kept");
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace quarn
