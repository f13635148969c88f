// The enciphering side of package identity, for quarn pack: the exact inverse
// of what the launcher decodes. It lives in the tool only.
#pragma once

#include <cstdint>
#include <string>

namespace quarn::tool {

// The identity record before enciphering: checksum (low byte first), lead
// text length, lead text, a zero byte, "<owner>.<game>", then zero fill to a
// whole number of 5-byte groups. False with a one-line reason when a half
// holds anything but a-z, 0-9 and '@', the lead text is over 127 bytes or
// not printable ASCII, or the record would need more than 160 symbols.
bool BuildIdentityRecord(const std::string& owner, const std::string& game,
                         const std::string& lead, std::string* record, std::string* error);

// 8 symbols for every 5 bytes; a partial last group counts as zero-filled.
std::string EncodeSymbols(const std::string& bytes);

// The inverse of IdentityCipher::Apply with the same key: the state takes in
// each enciphered byte.
void Encipher(std::uint32_t key, std::string& bytes);

// The whole GAMEID resource for a payload of payloadSize bytes: the record
// enciphered with key 0, as symbols, enciphered with the payload size, and a
// closing zero byte.
bool MakeGameIdResource(const std::string& owner, const std::string& game,
                        const std::string& lead, std::uint32_t payloadSize,
                        std::string* resource, std::string* error);

// The GAMECONFIG resource: the bytes of a ZIP archive enciphered with key 0.
std::string MakeGameConfigResource(std::string zipBytes);

}  // namespace quarn::tool
