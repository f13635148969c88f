// LoadGameIdentity, ReadConfigFile and GetLaunchIdentity over the resources
// of the POSIX launch table.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "identity/guest_identity.h"
#include "identity/identity_record.h"
#include "quarn/identity_encoder.h"
#include "support/launch_table.h"
#include "support/zip_builder.h"

namespace quarn {
namespace {

using namespace std::string_literals;
using quarn::testing::TestLaunchTable;
using testing::ZipBuilder;

constexpr std::uint32_t kUntouched = 0xA5A5A5A5;

// GAMEID for a payload of payloadSize bytes holding any record bytes, so
// that records the encoder refuses to make can be stored too. Each record
// below carries its checksum bytes written out (the signed byte sum after
// the length byte, low byte first), worked out once with a line of Python.
std::string GameIdFor(std::string record, std::uint32_t payloadSize) {
    record.append((5 - record.size() % 5) % 5, '\0');
    tool::Encipher(0, record);
    std::string symbols = tool::EncodeSymbols(record);
    tool::Encipher(payloadSize, symbols);
    return symbols + '\0';
}

std::string GameId(const std::string& owner, const std::string& game, const std::string& lead,
                   std::uint32_t payloadSize) {
    std::string resource, error;
    EXPECT_TRUE(tool::MakeGameIdResource(owner, game, lead, payloadSize, &resource, &error)) << error;
    return resource;
}

std::string Config(const ZipBuilder& zip) { return tool::MakeGameConfigResource(zip.build().bytes); }

struct IdentityTest : ::testing::Test {
    void SetUp() override {
        quarn::testing::ResetTestLaunchTable();
        ReadConfigFile(nullptr, nullptr, nullptr);  // the cache lives for the process
    }
    void TearDown() override { ReadConfigFile(nullptr, nullptr, nullptr); }

    std::string& Resource(const char* name) { return TestLaunchTable().resources[name]; }
    void Package(std::uint32_t payloadSize, const std::string& gameId) {
        Resource("GAMEDATA") = std::string(payloadSize, 'P');
        Resource("GAMEID") = gameId;
    }
    struct Loaded {
        std::string identity = "(none)";
        std::string lead = "(unset)";
        std::uint32_t size = kUntouched;
    };
    static Loaded Load() {
        Loaded l;
        const char* lead = nullptr;
        if (const char* identity = LoadGameIdentity(nullptr, &lead, &l.size)) l.identity = identity;
        if (lead != nullptr) l.lead = lead;
        return l;
    }
};

TEST_F(IdentityTest, LoadsTheIdentityKeyedWithThePayloadSize) {
    for (std::uint32_t size = 1; size <= 300; ++size) {
        SCOPED_TRACE(size);
        Package(size, GameId("my@owner", "game42", "Made by us", size));
        const Loaded l = Load();
        EXPECT_EQ(l.identity, "my@owner.game42");
        EXPECT_EQ(l.lead, "Made by us");
        EXPECT_EQ(l.size, size);
    }
    Package(1 << 20, GameId("big", "one", "", 1 << 20));
    EXPECT_EQ(Load().identity, "big.one");
    // All outputs are optional.
    EXPECT_STREQ(LoadGameIdentity(nullptr, nullptr, nullptr), "big.one");
}

TEST_F(IdentityTest, ValidRecordWithoutIdentityStillReportsTheSize) {
    struct Case {
        const char* what;
        std::string record;
        std::string lead;
    } cases[] = {
        {"identifier without a dot", "\xBA\x03\x04" "lead\0nodot"s, "lead"},
        {"empty identifier", "\x96\x01\x04" "lead\0"s, "lead"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Package(1234, GameIdFor(c.record, 1234));
        const Loaded l = Load();
        EXPECT_EQ(l.identity, "(none)");
        EXPECT_EQ(l.lead, c.lead);
        EXPECT_EQ(l.size, 1234u);
    }
}

TEST_F(IdentityTest, MissingOrDamagedResourcesGiveNone) {
    const std::string good = GameId("owner", "game", "", 100);
    struct Case {
        const char* what;
        std::optional<std::string> gameData, gameId;
    } cases[] = {
        {"no GAMEDATA", std::nullopt, good},
        {"empty GAMEDATA", "", good},
        {"no GAMEID", std::string(100, 'P'), std::nullopt},
        {"empty GAMEID", std::string(100, 'P'), ""},
        {"only the closing zero", std::string(100, 'P'), "\0"s},
        {"GAMEID for another size", std::string(101, 'P'), good},
        {"GAMEID without its closing zero", std::string(100, 'P'), good.substr(0, good.size() - 1)},
        {"damaged record", std::string(100, 'P'), GameIdFor("\x70\x01\x01" "a\0\x7F.b"s, 100)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        quarn::testing::ResetTestLaunchTable();
        if (c.gameData) Resource("GAMEDATA") = *c.gameData;
        if (c.gameId) Resource("GAMEID") = *c.gameId;
        const Loaded l = Load();
        EXPECT_EQ(l.identity, "(none)");
        EXPECT_EQ(l.lead, "(unset)");
        EXPECT_EQ(l.size, kUntouched);
    }
}

TEST_F(IdentityTest, ReadConfigFileGivesContentWithANul) {
    Resource("GAMECONFIG") =
        Config(ZipBuilder().deflated("Hub.ini", "[hub]\nname=x\n").file("empty.txt", ""));
    std::uint32_t size = kUntouched;
    for (const char* name : {"hub.ini", "HUB.INI", "hub.ini"}) {  // the same entry twice in a row
        SCOPED_TRACE(name);
        char* content = ReadConfigFile(nullptr, name, &size);
        ASSERT_NE(content, nullptr);
        EXPECT_EQ(size, 13u);
        EXPECT_EQ(std::string(content, size + 1), "[hub]\nname=x\n\0"s);
        std::free(content);
    }
    char* empty = ReadConfigFile(nullptr, "empty.txt", &size);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(empty[0], '\0');
    std::free(empty);

    size = kUntouched;
    EXPECT_EQ(ReadConfigFile(nullptr, "missing.ini", &size), nullptr);
    EXPECT_EQ(size, kUntouched);
    char* again = ReadConfigFile(nullptr, "hub.ini", nullptr);
    EXPECT_NE(again, nullptr);
    std::free(again);
}

TEST_F(IdentityTest, ConfigurationIsCachedUntilReleased) {
    EXPECT_EQ(ReadConfigFile(nullptr, nullptr, nullptr), nullptr);  // nothing cached: no-op
    Resource("GAMECONFIG") = Config(ZipBuilder().file("hub.ini", "one"));
    std::free(ReadConfigFile(nullptr, "hub.ini", nullptr));

    // The cached archive serves whatever the resource or the module says now.
    Resource("GAMECONFIG") = Config(ZipBuilder().file("hub.ini", "two"));
    char* cached = ReadConfigFile("no-such-module.dll", "hub.ini", nullptr);
    ASSERT_NE(cached, nullptr);
    EXPECT_STREQ(cached, "one");
    std::free(cached);

    EXPECT_EQ(ReadConfigFile(nullptr, nullptr, nullptr), nullptr);
    char* fresh = ReadConfigFile(nullptr, "hub.ini", nullptr);
    ASSERT_NE(fresh, nullptr);
    EXPECT_STREQ(fresh, "two");
    std::free(fresh);
}

TEST_F(IdentityTest, GuestIdentityIsNamedAfterTheProgramFile) {
    struct Case {
        std::optional<std::string> program;
        const char* identity;  // nullptr: none
    } cases[] = {
        {"C:\\Games\\Space Run.exe", "Guest.Space Run.exe"},
        {"C:/Downloads/play.exe", "Guest.play.exe"},
        {"C:\\mixed/dirs\\Last.One.EXE", "Guest.Last.One.EXE"},
        {"bare.exe", "Guest.bare.exe"},
        {"folder\\", "Guest."},
        {std::nullopt, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program.value_or("(no program name)"));
        quarn::testing::ResetTestLaunchTable();
        ReadConfigFile(nullptr, nullptr, nullptr);
        TestLaunchTable().programName = c.program;
        Resource("GAMECONFIG") = Config(ZipBuilder().file("config/x.txt", "x").file("HUB.INI", ""));
        const char* identity = GetLaunchIdentity();
        if (c.identity == nullptr) {
            EXPECT_EQ(identity, nullptr);
        } else {
            ASSERT_NE(identity, nullptr);
            EXPECT_STREQ(identity, c.identity);
        }
    }
}

TEST_F(IdentityTest, GameIdentityComesFirst) {
    TestLaunchTable().programName = "C:\\Games\\launcher.exe";
    Package(5000, GameId("owner", "game", "", 5000));
    Resource("GAMECONFIG") = Config(ZipBuilder().file("hub.ini", ""));
    EXPECT_STREQ(GetLaunchIdentity(), "owner.game");
    Resource("GAMECONFIG") = "not an archive";
    EXPECT_STREQ(GetLaunchIdentity(), "owner.game");
}

TEST_F(IdentityTest, NoIdentityWithoutHubIni) {
    TestLaunchTable().programName = "C:\\Games\\launcher.exe";
    Package(5000, GameId("owner", "game", "", 4999));  // made for another payload
    struct Case {
        const char* what;
        std::optional<std::string> config;
    } cases[] = {
        {"no GAMECONFIG", std::nullopt},
        {"empty GAMECONFIG", ""},
        {"no hub.ini in it", Config(ZipBuilder().file("hub.txt", "x"))},
        {"not enciphered", ZipBuilder().file("hub.ini", "x").build().bytes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReadConfigFile(nullptr, nullptr, nullptr);
        TestLaunchTable().resources.erase("GAMECONFIG");
        if (c.config) Resource("GAMECONFIG") = *c.config;
        EXPECT_EQ(GetLaunchIdentity(), nullptr);
    }
}

// A configuration that does not open is not cached: the next call reads the
// resource again.
TEST_F(IdentityTest, FailedOpenIsRetried) {
    TestLaunchTable().programName = "game.exe";
    Resource("GAMECONFIG") = tool::MakeGameConfigResource("PK\x05\x06 but not a ZIP archive");
    EXPECT_EQ(GetLaunchIdentity(), nullptr);
    Resource("GAMECONFIG") = Config(ZipBuilder().file("hub.ini", "[hub]"));
    EXPECT_STREQ(GetLaunchIdentity(), "Guest.game.exe");
}

}  // namespace
}  // namespace quarn
