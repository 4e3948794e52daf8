#pragma once

#include <cstdint>
#include <optional>
#include <string_view>


namespace lumenary::eventsource {

// Where an event source stands; travels as its raw value.
enum class ReadyState : std::int64_t {
    connecting = 0,
    open = 1,
    closed = 2,
};

std::optional<ReadyState> readyStateFromRawValue(std::int64_t rawValue);
// "connecting", "open" or "closed".
std::string_view description(ReadyState state);

}  // namespace lumenary::eventsource
