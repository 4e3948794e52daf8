#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>

#include "http_client/http_client.hpp"
#include "logging/logger.hpp"

namespace lumenary::mcp {

struct HTTPClientTransportOptions {
    // Keeps a GET event stream open for what the server sends on its own.
    bool streaming = true;
    // How long the GET stream waits for the server to name its session.
    std::chrono::milliseconds sseInitializationTimeout{10'000};
    // The last word on every request before it is sent (POST and GET).
    std::function<http_client::HTTPClientRequest(http_client::HTTPClientRequest)> requestModifier{};
    // Absent: "mcp.transport.http.client", which discards every record.
    std::optional<logging::Logger> logger{};

    // Bounds on what the server fills: a JSON answer, and one event-stream
    // line or event's data.
    std::size_t maximumMessageBytes = 32 * 1024 * 1024;
    // Reading pauses while received messages not yet taken by receive()'s
    // consumer weigh more than this.
    std::size_t maximumUndeliveredBytes = 32 * 1024 * 1024;
    // A POST fails when no byte moves for this long; it has no total limit.
    std::chrono::milliseconds requestIdleLimit{60'000};

    // The GET stream opens at most once per `listenerMinimumInterval`; an
    // attempt that fails, ends within that interval or answers something
    // other than an event stream backs off, doubling the pause up to
    // `listenerMaximumPause`. A stream that delivered an event resets it.
    std::chrono::milliseconds listenerMinimumInterval{1'000};
    std::chrono::milliseconds listenerMaximumPause{30'000};
};

}  // namespace lumenary::mcp
