#include "identity/identity_record.h"

#include <cstdlib>
#include <cstring>

#include "base/bytes.h"
#include "base/text.h"
#include "identity/cipher.h"
#include "identity/package.h"
#include "os/resources.h"

namespace quarn {

namespace {

// Receives the decoded record; the lead text and the returned identity live
// in it too, until the next decoding.
std::uint8_t recordBuffer[kRecordBufferSize];

// The value of every byte as a symbol: its place in kSymbolAlphabet, 0 for
// bytes outside the alphabet.
std::uint8_t symbolTable[256];

bool IsPrintable(std::uint8_t c) { return c >= 0x20 && c <= 0x7E; }

bool AllPrintable(const std::uint8_t* text) {
    for (; *text != 0; ++text) {
        if (!IsPrintable(*text)) return false;
    }
    return true;
}

// The checksum adds the bytes as signed 8-bit values, modulo 65536.
bool ChecksumMatches(const std::uint8_t* record, std::uint32_t count) {
    std::uint16_t sum = 0;
    for (std::uint32_t i = 3; i < count; ++i) {
        sum = static_cast<std::uint16_t>(sum + static_cast<std::int8_t>(record[i]));
    }
    return sum == LoadLe16(record);
}

}  // namespace

const char* LoadGameIdentity(const char* moduleName, const char** leadTextOut,
                             std::uint32_t* payloadSizeOut) {
    os::ResourceData payload;
    if (!os::FindRcData(moduleName, kPayloadResource, &payload) || payload.size == 0) return nullptr;
    const std::uint32_t payloadSize = payload.size;

    os::ResourceData gameId;
    if (!os::FindRcData(moduleName, kIdentityResource, &gameId)) return nullptr;
    const char* identity = nullptr;
    if (!DecodeGameIdResource(gameId.data, gameId.size, payloadSize, &identity, leadTextOut)) {
        return nullptr;
    }
    // Reported also when the record holds no identity: the stamp still uses it.
    if (payloadSizeOut != nullptr) *payloadSizeOut = payloadSize;
    return identity;
}

bool DecodeGameIdResource(const std::uint8_t* resource, std::uint32_t size,
                          std::uint32_t payloadSize, const char** identityOut,
                          const char** leadTextOut) {
    if (resource == nullptr || size == 0) return false;
    // One byte more than the resource, so the symbol text always ends inside
    // the block even when the stored closing zero is missing.
    auto* copy = static_cast<std::uint8_t*>(std::malloc(std::size_t{size} + 1));
    if (copy == nullptr) return false;
    std::memcpy(copy, resource, size);
    copy[size] = 0;
    // The last stored byte is the text's closing zero and is not enciphered.
    IdentityCipher(payloadSize).Apply(copy, size - 1);
    const bool parsed = ParseIdentityRecord(reinterpret_cast<const char*>(copy), identityOut,
                                            leadTextOut);
    std::free(copy);
    return parsed;
}

bool ParseIdentityRecord(const char* symbolText, const char** identityOut,
                         const char** leadTextOut) {
    const std::size_t n = symbolText != nullptr ? std::strlen(symbolText) : 0;
    if (n > kMaxSymbols || n % kSymbolsPerGroup != 0) return false;

    std::uint8_t* record = nullptr;
    std::uint32_t count = 0;
    if (!DecodeSymbolText(symbolText, static_cast<std::uint32_t>(n), &record, &count)) return false;
    IdentityCipher().Apply(record, count);

    while (count > 0 && record[count - 1] == 0) --count;
    // Two zeros: the record's terminator, and an empty identifier text for a
    // record whose zero after the lead text went with the fill.
    record[count] = 0;
    record[count + 1] = 0;
    // Checksum and length byte at least; anything shorter fails below anyway.
    if (count < 3) return false;
    if (!ChecksumMatches(record, count)) return false;

    const std::uint32_t leadLength = record[2];
    if (leadLength > kMaxLeadText || 4 + leadLength > count + 1 || record[3 + leadLength] != 0) {
        return false;
    }
    // A zero inside the lead text ends it early; what follows up to the
    // length byte's end is not looked at.
    const std::uint8_t* lead = record + 3;
    std::uint8_t* identifier = record + 4 + leadLength;
    if (!AllPrintable(lead) || !AllPrintable(identifier)) return false;

    if (leadTextOut != nullptr) *leadTextOut = reinterpret_cast<const char*>(lead);
    if (identityOut != nullptr) *identityOut = NormaliseIdentity(reinterpret_cast<char*>(identifier));
    return true;
}

bool DecodeSymbolText(const char* symbols, std::uint32_t count, std::uint8_t** bytesOut,
                      std::uint32_t* byteCountOut) {
    const std::uint32_t groups = count / kSymbolsPerGroup;
    // Leave room for the terminator the record reader writes after the bytes.
    if (groups * kBytesPerGroup + 2 > kRecordBufferSize) return false;
    if (symbols == nullptr && groups != 0) return false;
    BuildSymbolTable();

    for (std::uint32_t g = 0; g < groups; ++g) {
        const auto* s = reinterpret_cast<const std::uint8_t*>(symbols) + g * kSymbolsPerGroup;
        std::uint8_t* out = recordBuffer + g * kBytesPerGroup;
        // The top three bits of the five bytes, packed into the last three symbols.
        const std::uint32_t high = symbolTable[s[5]] + 32u * symbolTable[s[6]] +
                                   1024u * symbolTable[s[7]];
        for (std::uint32_t k = 0; k < kBytesPerGroup; ++k) {
            out[k] = static_cast<std::uint8_t>(symbolTable[s[k]] + 32u * ((high >> (3 * k)) & 7u));
        }
    }
    if (bytesOut != nullptr) *bytesOut = recordBuffer;
    if (byteCountOut != nullptr) *byteCountOut = groups * kBytesPerGroup;
    return true;
}

void BuildSymbolTable() {
    std::memset(symbolTable, 0, sizeof symbolTable);
    for (std::uint8_t v = 0; kSymbolAlphabet[v] != '\0'; ++v) {
        symbolTable[static_cast<std::uint8_t>(kSymbolAlphabet[v])] = v;
    }
}

// Works in place: each filtered half is no longer than the half it came
// from, so owner, '.', game fit where the text was, however long it is.
char* NormaliseIdentity(char* text) {
    if (text == nullptr) return nullptr;
    char* dot = std::strrchr(text, '.');
    if (dot == nullptr) return nullptr;
    *dot = '\0';
    char* game = dot + 1;
    FilterIdentityPart(text);
    FilterIdentityPart(game);
    const std::size_t ownerLength = std::strlen(text);
    text[ownerLength] = '.';
    std::memmove(text + ownerLength + 1, game, std::strlen(game) + 1);
    return text;
}

char* FilterIdentityPart(char* text) {
    if (text == nullptr) return nullptr;
    char* kept = text;
    for (const char* p = text; *p != '\0'; ++p) {
        if (IsAsciiAlnum(static_cast<unsigned char>(*p)) || *p == '@') *kept++ = AsciiLower(*p);
    }
    *kept = '\0';
    return text;
}

bool IsAsciiAlnum(int c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace quarn
