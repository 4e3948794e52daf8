#include "eventsource/ready_state.hpp"

#include <string>


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
