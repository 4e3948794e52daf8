#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace lumenary::platform {

// Why a platform layer could not do what was asked, as a user should read
// it: a domain naming the layer ("EventStore", "ProcessLauncher", ...), a
// code and a description that says what failed and, where it helps, what
// to set. Callers pass it on unchanged or wrap its description.
struct PlatformError {
    std::string domain;
    std::int64_t code = 0;
    std::string description;
};

// A platform call's value or its PlatformError.
template <typename T>
class PlatformOutcome {
public:
    PlatformOutcome(T value) : outcome_(std::in_place_index<0>, std::move(value)) {}
    PlatformOutcome(PlatformError error) : outcome_(std::in_place_index<1>, std::move(error)) {}

    bool hasValue() const noexcept { return outcome_.index() == 0; }
    explicit operator bool() const noexcept { return hasValue(); }

    // Must hold a value.
    T& value() & { return std::get<0>(outcome_); }
    const T& value() const& { return std::get<0>(outcome_); }
    T&& value() && { return std::get<0>(std::move(outcome_)); }

    // Must hold an error.
    const PlatformError& error() const& { return std::get<1>(outcome_); }

private:
    std::variant<T, PlatformError> outcome_;
};

}  // namespace lumenary::platform
