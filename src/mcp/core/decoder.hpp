#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "mcp/core/coding_error.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

class Decoder;

// How a type reads itself from and writes itself to its JSON form.
// Specialise with:
//   static Value encode(const T&);          may throw EncodingError
//   static T decode(const Decoder&);        may throw DecodingError
template <typename T>
struct Coder;

// A read position inside a JSON value. Decoders nest on the stack, each
// pointing at its parent, so the coding path is only built when an error
// needs it.
class Decoder {
public:
    explicit Decoder(const Value& value) noexcept : value_(value) {}

    const Value& value() const noexcept { return value_; }
    bool isNull() const noexcept { return value_.isNull(); }
    CodingPath codingPath() const;

    template <typename T>
    T decode() const {
        return Coder<T>::decode(*this);
    }

    // Keyed access. `object()` fails with a type mismatch for a non-object.
    const Value::Object& object() const;
    bool contains(std::string_view key) const;
    // A missing key fails with keyNotFound, a null member with valueNotFound.
    template <typename T>
    T decode(std::string_view key) const {
        return Coder<T>::decode(member(key));
    }
    // A missing key and a null member both read as absent.
    template <typename T>
    std::optional<T> decodeIfPresent(std::string_view key) const {
        const Value* found = find(key);
        if (found == nullptr || found->isNull()) {
            return std::nullopt;
        }
        return Coder<T>::decode(Decoder(*found, this, key));
    }
    Decoder member(std::string_view key) const;
    // A position for `value` as though it stood under `key` here: for a
    // member already taken out of its object, whose errors still name it.
    Decoder nested(const Value& value, std::string_view key) const noexcept { return Decoder(value, this, key); }

    // Unkeyed access. `array()` fails with a type mismatch for a non-array.
    const Value::Array& array() const;
    Decoder element(std::size_t index) const;

    [[noreturn]] void fail(DecodingError::Kind kind, std::string description) const;
    [[noreturn]] void failDataCorrupted(std::string description) const {
        fail(DecodingError::Kind::dataCorrupted, std::move(description));
    }
    // "Expected to decode <expected> but found <what the value is> instead."
    [[noreturn]] void failTypeMismatch(std::string_view expected) const;

private:
    Decoder(const Value& value, const Decoder* parent, std::string_view key) noexcept
        : value_(value), parent_(parent), key_(key) {}
    Decoder(const Value& value, const Decoder* parent, std::size_t index) noexcept
        : value_(value), parent_(parent), index_(index) {}

    const Value* find(std::string_view key) const;

    const Value& value_;
    const Decoder* parent_ = nullptr;
    std::string_view key_;
    std::optional<std::size_t> index_;
};

// The JSON form of a typed value, and a typed value from a JSON value.
template <typename T>
Value encodeValue(const T& typed) {
    return Coder<T>::encode(typed);
}

template <typename T>
T decodeValue(const Value& value) {
    return Coder<T>::decode(Decoder(value));
}

}  // namespace lumenary::mcp
