#include "identity_encoder.h"

#include <utility>

#include "identity/cipher.h"
#include "identity/identity_record.h"

namespace quarn::tool {

namespace {

bool IsIdentityCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '@';
}

bool IsIdentityPart(const std::string& part) {
    for (char c : part) {
        if (!IsIdentityCharacter(c)) return false;
    }
    return true;
}

bool IsPrintableText(const std::string& text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E) return false;
    }
    return true;
}

bool Refuse(std::string* error, const char* reason) {
    if (error != nullptr) *error = reason;
    return false;
}

}  // namespace

bool BuildIdentityRecord(const std::string& owner, const std::string& game,
                         const std::string& lead, std::string* record, std::string* error) {
    if (!IsIdentityPart(owner)) return Refuse(error, "the owner may hold only a-z, 0-9 and '@'");
    if (!IsIdentityPart(game)) return Refuse(error, "the game may hold only a-z, 0-9 and '@'");
    if (lead.size() > kMaxLeadText) return Refuse(error, "the lead text is longer than 127 bytes");
    if (!IsPrintableText(lead)) return Refuse(error, "the lead text holds a byte that is not printable ASCII");

    std::string covered = lead;
    covered += '\0';
    covered += owner + "." + game;
    // Every covered byte is below 0x80 here, so the decoder's signed sum is
    // the plain sum.
    std::uint16_t checksum = 0;
    for (char c : covered) checksum = static_cast<std::uint16_t>(checksum + static_cast<unsigned char>(c));

    std::string bytes;
    bytes += static_cast<char>(checksum & 0xFF);
    bytes += static_cast<char>(checksum >> 8);
    bytes += static_cast<char>(lead.size());
    bytes += covered;
    // The identifier always ends in a non-zero byte, so the decoder's
    // dropping of trailing zeros takes exactly this fill.
    bytes.append((kBytesPerGroup - bytes.size() % kBytesPerGroup) % kBytesPerGroup, '\0');
    if (bytes.size() > kMaxRecordBytes) return Refuse(error, "the identity record needs more than 160 symbols");
    if (record != nullptr) *record = bytes;
    return true;
}

// Each 5 bytes give 8 symbols: the low 5 bits of every byte in the first
// five, their top 3 bits packed into a 15-bit number in the last three. A
// partial group at the end is taken as filled with zeros.
std::string EncodeSymbols(const std::string& bytes) {
    std::string symbols;
    for (std::size_t at = 0; at < bytes.size(); at += kBytesPerGroup) {
        std::uint8_t group[kBytesPerGroup] = {};
        for (std::size_t k = 0; k < kBytesPerGroup && at + k < bytes.size(); ++k) {
            group[k] = static_cast<std::uint8_t>(bytes[at + k]);
        }
        std::uint32_t high = 0;
        for (std::size_t k = 0; k < kBytesPerGroup; ++k) {
            symbols += kSymbolAlphabet[group[k] & 31u];
            high |= static_cast<std::uint32_t>(group[k] >> 5) << (3 * k);
        }
        symbols += kSymbolAlphabet[high & 31u];
        symbols += kSymbolAlphabet[(high >> 5) & 31u];
        symbols += kSymbolAlphabet[(high >> 10) & 31u];
    }
    return symbols;
}

// The decoder's state takes in the byte it reads, which is the enciphered
// byte, so the encoder feeds back what it writes.
void Encipher(std::uint32_t key, std::string& bytes) {
    std::uint32_t state = key;
    for (char& b : bytes) {
        const auto enciphered = static_cast<std::uint8_t>(static_cast<std::uint8_t>(b) ^ (state & 0xFFu));
        b = static_cast<char>(enciphered);
        state = IdentityCipher::Mix(enciphered + state);
    }
}

bool MakeGameIdResource(const std::string& owner, const std::string& game,
                        const std::string& lead, std::uint32_t payloadSize,
                        std::string* resource, std::string* error) {
    std::string record;
    if (!BuildIdentityRecord(owner, game, lead, &record, error)) return false;
    Encipher(0, record);
    std::string symbols = EncodeSymbols(record);
    Encipher(payloadSize, symbols);
    // The closing zero of the symbol text is stored as it is.
    symbols += '\0';
    if (resource != nullptr) *resource = std::move(symbols);
    return true;
}

std::string MakeGameConfigResource(std::string zipBytes) {
    Encipher(0, zipBytes);
    return zipBytes;
}

}  // namespace quarn::tool
