// The keyed XOR stream that hides the package's identity and configuration
// resources. Each byte is XORed with the low byte of a 32-bit state; the state
// then takes in the input byte through an integer mixer. Only the
// deciphering direction lives here: the launcher makes no packages.
#pragma once

#include <cstdint>

namespace quarn {

class IdentityCipher {
public:
    IdentityCipher() = default;  // key 0
    explicit IdentityCipher(std::uint32_t key) { SetKey(key); }

    // Sets key and state; restarts the stream.
    void SetKey(std::uint32_t key) {
        key_ = key;
        state_ = key;
    }

    // A pure 32-bit integer hash.
    static std::uint32_t Mix(std::uint32_t value);

    // Transforms length bytes in place and advances the state; always true.
    bool Apply(std::uint8_t* buffer, std::uint32_t length);

    std::uint32_t key() const { return key_; }
    std::uint32_t state() const { return state_; }

private:
    std::uint32_t key_ = 0;
    std::uint32_t state_ = 0;
};

}  // namespace quarn
