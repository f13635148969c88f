// The game identity in the resource GAMEID: deciphered with the payload's
// size as the key, a 32-symbol text (8 symbols carry 5 bytes), deciphered
// again with key 0, then the record: checksum, lead text, identifier
// "<owner>.<game>", normalised to lower-case letters, digits and '@'.
//
// Results point into one process-wide record buffer and stay valid until
// the next decoding. Failures are silent: the result is none.
//
// The layout constants below are the whole contract with the encoder in
// quarn pack, which takes them from here.
#pragma once

#include <cstdint>

namespace quarn {

inline constexpr char kSymbolAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ#&*-+=";
// Each group of 8 symbols carries 5 bytes.
inline constexpr std::uint32_t kSymbolsPerGroup = 8;
inline constexpr std::uint32_t kBytesPerGroup = 5;
// The longest symbol text, and the record bytes it carries.
inline constexpr std::uint32_t kMaxSymbols = 160;
inline constexpr std::uint32_t kMaxRecordBytes = kMaxSymbols / kSymbolsPerGroup * kBytesPerGroup;
// The length byte of the lead text stays below 128.
inline constexpr std::uint32_t kMaxLeadText = 127;
inline constexpr std::uint32_t kRecordBufferSize = 260;

// moduleName: nullptr for the running program. leadTextOut and
// payloadSizeOut are optional; the size is reported whenever the record
// passed its checks, also when it holds no identity.
const char* LoadGameIdentity(const char* moduleName, const char** leadTextOut,
                             std::uint32_t* payloadSizeOut);

// The GAMEID resource's bytes read for a payload of payloadSize bytes: all
// but the last byte (the symbol text's stored closing zero) deciphered with
// payloadSize as the key, then the symbol text read by ParseIdentityRecord.
// The resource itself is not changed. False for no bytes, no memory, or a
// record that fails its checks.
bool DecodeGameIdResource(const std::uint8_t* resource, std::uint32_t size,
                          std::uint32_t payloadSize, const char** identityOut,
                          const char** leadTextOut);

// Decodes a NUL-terminated symbol text (nullptr counts as empty).
bool ParseIdentityRecord(const char* symbolText, const char** identityOut,
                         const char** leadTextOut);

// count symbols into the record buffer: count / 8 * 5 bytes.
bool DecodeSymbolText(const char* symbols, std::uint32_t count, std::uint8_t** bytesOut,
                      std::uint32_t* byteCountOut);

void BuildSymbolTable();

// "<owner>.<game>" rewritten in place from the last '.', each half
// filtered; nullptr for no text or a text without '.'.
char* NormaliseIdentity(char* text);

// Keeps ASCII letters, digits and '@', lower-cased, in place.
char* FilterIdentityPart(char* text);

bool IsAsciiAlnum(int c);

}  // namespace quarn
