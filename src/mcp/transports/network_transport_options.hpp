#pragma once

#include <chrono>
#include <cstddef>

#include "mcp/transports/network_framer.hpp"

namespace lumenary::mcp {

// A network transport's own limits and fixed pauses; tests shorten the
// pauses.
struct NetworkTransportOptions {
    // An attempt neither ready nor failed by then counts as a failed one.
    std::chrono::steady_clock::duration connectTimeout = std::chrono::seconds(10);
    std::chrono::steady_clock::duration firstHeartbeatDelay = std::chrono::seconds(1);
    std::chrono::steady_clock::duration heartbeatRetryPause = std::chrono::seconds(2);
    std::chrono::steady_clock::duration emptyReadPause = std::chrono::milliseconds(100);
    // Multiplies every backoff delay once it has been held to 0.5-30 s.
    double backoffScale = 1.0;
    std::size_t maximumQueuedOutputBytes = 8 * 1024 * 1024;
    std::size_t maximumLineLength = NetworkFramer::defaultMaximumLineLength;
};

}  // namespace lumenary::mcp
