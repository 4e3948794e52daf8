#pragma once

#include <utility>
#include <variant>

#include "app/tools/tool_error.hpp"

namespace lumenary::app {

// What a tool call ends in: its value, or the ToolError that refused or
// failed it. A refusal is an everyday answer, not an exceptional one, so it
// travels back as a value to the point where it becomes a tool result.
template <typename T>
class ToolOutcome {
public:
    // A default value: asio's hop between executors builds its result so.
    ToolOutcome() = default;
    ToolOutcome(T value) : outcome_(std::in_place_index<0>, std::move(value)) {}
    ToolOutcome(ToolError error) : outcome_(std::in_place_index<1>, std::move(error)) {}

    bool hasValue() const noexcept { return outcome_.index() == 0; }
    explicit operator bool() const noexcept { return hasValue(); }

    // Must hold a value.
    T& value() & { return std::get<0>(outcome_); }
    const T& value() const& { return std::get<0>(outcome_); }
    T&& value() && { return std::get<0>(std::move(outcome_)); }

    // Must hold an error.
    const ToolError& error() const& { return std::get<1>(outcome_); }

private:
    std::variant<T, ToolError> outcome_;
};

}  // namespace lumenary::app
