#include "identity/cipher.h"

namespace quarn {

// A 32-bit integer hash in six add/xor/shift steps; all arithmetic wraps.
std::uint32_t IdentityCipher::Mix(std::uint32_t value) {
    std::uint32_t a = value;
    a = (a + 0x7ED55D16u) + (a << 12);
    a = (a ^ 0xC761C23Cu) ^ (a >> 19);
    a = (a + 0x165667B1u) + (a << 5);
    a = (a + 0xD3A2646Cu) ^ (a << 9);
    a = (a + 0xFD7046C5u) + (a << 3);
    a = (a ^ 0xB55A4F09u) ^ (a >> 16);
    return a;
}

// The state takes in the byte as it was before the XOR: when deciphering
// that is the enciphered byte, so the encoder can run the same stream.
bool IdentityCipher::Apply(std::uint8_t* buffer, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint8_t c = buffer[i];
        buffer[i] = static_cast<std::uint8_t>(c ^ (state_ & 0xFFu));
        state_ = Mix(static_cast<std::uint32_t>(c) + state_);
    }
    return true;
}

}  // namespace quarn
