#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "system/errno.hpp"

namespace lumenary::system {

// What one system-call operation ends in: its value, or the Errno the call
// failed with. Failure is an everyday answer from the system, so it travels
// back as a value; the caller decides what it means.
template <typename T>
class SystemCallResult {
public:
    SystemCallResult(T value) : outcome_(std::in_place_index<0>, std::move(value)) {}
    SystemCallResult(Errno error) : outcome_(std::in_place_index<1>, error) {}

    bool hasValue() const noexcept { return outcome_.index() == 0; }
    explicit operator bool() const noexcept { return hasValue(); }

    // Must hold a value.
    T& value() & { return std::get<0>(outcome_); }
    const T& value() const& { return std::get<0>(outcome_); }
    T&& value() && { return std::get<0>(std::move(outcome_)); }

    // Must hold an error.
    Errno error() const { return std::get<1>(outcome_); }

private:
    std::variant<T, Errno> outcome_;
};

// An operation with nothing to give back but success.
template <>
class SystemCallResult<void> {
public:
    SystemCallResult() noexcept = default;
    SystemCallResult(Errno error) noexcept : error_(error) {}

    bool hasValue() const noexcept { return !error_.has_value(); }
    explicit operator bool() const noexcept { return hasValue(); }

    // Must hold an error.
    Errno error() const { return error_.value(); }

private:
    std::optional<Errno> error_;
};

}  // namespace lumenary::system
