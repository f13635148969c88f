// The identity record from untrusted bytes, two ways in.
//
// Input: four bytes (little-endian) giving the payload size, then the GAMEID
// resource. The resource goes through the full path, deciphered with the
// payload size as key; its first few hundred bytes are also parsed directly
// as a symbol text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "identity/identity_record.h"
#include "support/launch_table.h"

namespace {

using namespace quarn;

constexpr std::size_t kMaxSymbolText = 400;
// The key only matters through GAMEDATA's size, and a size needs a string of
// that many bytes; larger sizes are folded to their low 16 bits.
constexpr std::uint32_t kMaxPayloadSize = 1u << 20;

void Require(bool holds) {
    if (!holds) std::abort();
}

bool IsIdentityCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '@';
}

// "<owner>.<game>": exactly one '.', everything else a-z, 0-9 or '@'.
void CheckIdentity(const char* identity) {
    if (identity == nullptr) return;
    Require(std::strlen(identity) < kRecordBufferSize);
    int dots = 0;
    for (const char* p = identity; *p != '\0'; ++p) {
        if (*p == '.') ++dots;
        else Require(IsIdentityCharacter(*p));
    }
    Require(dots == 1);
}

void CheckLead(const char* lead) {
    Require(std::strlen(lead) < 128);
    for (const char* p = lead; *p != '\0'; ++p) {
        Require(static_cast<unsigned char>(*p) >= 0x20 && static_cast<unsigned char>(*p) <= 0x7E);
    }
}

void ParseDirectly(const std::uint8_t* bytes, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(bytes), std::min(size, kMaxSymbolText));
    const char* identity = nullptr;
    const char* lead = nullptr;
    if (ParseIdentityRecord(text.c_str(), &identity, &lead)) {
        Require(lead != nullptr);
        CheckLead(lead);
        CheckIdentity(identity);
    }
}

void LoadFromTable(std::uint32_t payloadSize, const std::uint8_t* bytes, std::size_t size) {
    quarn::testing::LaunchTable& table = quarn::testing::TestLaunchTable();
    // Kept between inputs: resizing reuses the storage.
    table.resources["GAMEDATA"].resize(payloadSize);
    table.resources["GAMEID"].assign(reinterpret_cast<const char*>(bytes), size);
    const char* lead = nullptr;
    std::uint32_t reportedSize = 0;
    const char* identity = LoadGameIdentity(nullptr, &lead, &reportedSize);
    if (identity != nullptr) {
        Require(reportedSize == payloadSize);
        Require(lead != nullptr);
        CheckLead(lead);
        CheckIdentity(identity);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::uint32_t key = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
                        static_cast<std::uint32_t>(data[2]) << 16 |
                        static_cast<std::uint32_t>(data[3]) << 24;
    if (key > kMaxPayloadSize) key &= 0xFFFF;
    ParseDirectly(data + 4, size - 4);
    LoadFromTable(key, data + 4, size - 4);
    return 0;
}
