#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>


namespace lumenary::eventsource {

// One dispatched server-sent event. An absent id or type differs from an
// empty one: "id" alone on a line sets the empty id, which clears the last
// event id a reconnection sends.
struct Event {
    std::optional<std::string> id{};
    std::optional<std::string> event{};
    std::string data{};
    // The retry value (milliseconds) accepted while this event was built.
    std::optional<std::int64_t> retry{};

    friend bool operator==(const Event&, const Event&) = default;
    // Fields in order, each optional one behind a present/absent marker.
    std::size_t hash() const noexcept;
};

}  // namespace lumenary::eventsource

template <>
struct std::hash<lumenary::eventsource::Event> {
    std::size_t operator()(const lumenary::eventsource::Event& event) const noexcept { return event.hash(); }
};
