#pragma once

#include <cstdint>
#include <string>

#include "eventsource/event.hpp"
#include "eventsource/ready_state.hpp"
#include "mcp/core/coders.hpp"

// The coded forms of the event-stream values through the protocol core's
// coders. The event-stream library stands below the protocol core and does
// not code its own values; only the tests read and write them.
namespace lumenary::mcp {

// {"id"?, "event"?, "data", "retry"?}: absent fields are left out, and only
// "data" is required when read.
template <>
struct Coder<eventsource::Event> {
    static Value encode(const eventsource::Event& event) {
        return ObjectEncoder()
            .setIfPresent("id", event.id)
            .setIfPresent("event", event.event)
            .set("data", event.data)
            .setIfPresent("retry", event.retry)
            .finish();
    }
    static eventsource::Event decode(const Decoder& decoder) {
        return {decoder.decodeIfPresent<std::string>("id"), decoder.decodeIfPresent<std::string>("event"),
                decoder.decode<std::string>("data"), decoder.decodeIfPresent<std::int64_t>("retry")};
    }
};

// Its raw value.
template <>
struct Coder<eventsource::ReadyState> {
    static Value encode(eventsource::ReadyState state) { return static_cast<std::int64_t>(state); }
    static eventsource::ReadyState decode(const Decoder& decoder) {
        const auto rawValue = decoder.decode<std::int64_t>();
        if (auto state = eventsource::readyStateFromRawValue(rawValue)) {
            return *state;
        }
        decoder.failDataCorrupted("Cannot initialize ReadyState from invalid Int value " + std::to_string(rawValue));
    }
};

}  // namespace lumenary::mcp
