#include "eventsource/ready_state.hpp"

#include <string>

#include "mcp/core/coders.hpp"

namespace lumenary::eventsource {

std::optional<ReadyState> readyStateFromRawValue(std::int64_t rawValue) {
    if (rawValue < 0 || rawValue > 2) {
        return std::nullopt;
    }
    return static_cast<ReadyState>(rawValue);
}

std::string_view description(ReadyState state) {
    switch (state) {
        case ReadyState::connecting: return "connecting";
        case ReadyState::open: return "open";
        case ReadyState::closed: return "closed";
    }
    return "closed";
}

}  // namespace lumenary::eventsource

namespace lumenary::mcp {

Value Coder<eventsource::ReadyState>::encode(eventsource::ReadyState state) {
    return static_cast<std::int64_t>(state);
}

eventsource::ReadyState Coder<eventsource::ReadyState>::decode(const Decoder& decoder) {
    const auto rawValue = decoder.decode<std::int64_t>();
    if (auto state = eventsource::readyStateFromRawValue(rawValue)) {
        return *state;
    }
    decoder.failDataCorrupted("Cannot initialize ReadyState from invalid Int value " + std::to_string(rawValue));
}

}  // namespace lumenary::mcp
