// One owner for a value that must be let go of exactly once, such as a file
// handle or a mapped file: move-only, and the value is freed when its owner
// goes, so that no path out of a function needs a release of its own.
//
// Traits gives Empty(), the value an empty owner holds, and Free(value),
// which lets go of a value (and does nothing for the empty one).
#pragma once

#include <utility>

namespace quarn {

template <class Value, class Traits>
class UniqueValue {
public:
    UniqueValue() = default;
    explicit UniqueValue(Value value) : value_(value) {}
    ~UniqueValue() { reset(); }
    UniqueValue(UniqueValue&& other) noexcept : value_(other.release()) {}
    UniqueValue& operator=(UniqueValue&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueValue(const UniqueValue&) = delete;
    UniqueValue& operator=(const UniqueValue&) = delete;

    const Value& get() const { return value_; }
    // Gives the value up without freeing it.
    Value release() { return std::exchange(value_, Traits::Empty()); }
    // Frees the value held, if any, and takes value instead.
    void reset(Value value = Traits::Empty()) { Traits::Free(std::exchange(value_, value)); }

private:
    Value value_ = Traits::Empty();
};

}  // namespace quarn
