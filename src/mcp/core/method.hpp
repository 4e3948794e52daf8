#pragma once

#include <concepts>
#include <string_view>
#include <type_traits>

#include "mcp/core/decoder.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// A request's method descriptor: its wire name and the types of its
// parameters and result. Descriptors are never instantiated.
template <typename M>
concept Method = requires {
    { M::name } -> std::convertible_to<std::string_view>;
    typename M::Parameters;
    typename M::Result;
};

// A notification's descriptor: its wire name and its parameter type.
template <typename N>
concept Notification = requires {
    { N::name } -> std::convertible_to<std::string_view>;
    typename N::Parameters;
};

// Parameter types that have a value when "params" is absent or null
// specialise this with `static T make()`.
template <typename Parameters>
struct NotRequired : std::false_type {};

template <typename Parameters>
inline constexpr bool isNotRequired = NotRequired<Parameters>::value;

// No parameters or no result: written as {}, read from any JSON value.
struct Empty {
    friend bool operator==(Empty, Empty) noexcept { return true; }
};

template <>
struct NotRequired<Empty> : std::true_type {
    static Empty make() { return {}; }
};

template <>
struct NotRequired<Value> : std::true_type {
    static Value make() { return {}; }
};

template <>
struct Coder<Empty> {
    static Value encode(Empty) { return Value::Object{}; }
    static Empty decode(const Decoder&) { return {}; }
};

// The untyped descriptors every message is first read as.
struct AnyMethod {
    static constexpr std::string_view name = "";
    using Parameters = Value;
    using Result = Value;
};

struct AnyNotification {
    static constexpr std::string_view name = "";
    using Parameters = Value;
};

}  // namespace lumenary::mcp
