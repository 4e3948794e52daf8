#pragma once

// Server answers and client options the HTTP client transport's tests build
// again and again.
#include <chrono>
#include <string>
#include <vector>

#include "mcp/http_transport/http_client_transport.hpp"
#include "support/fake_http_endpoint.hpp"

namespace lumenary::mcp::testing {

// An event stream that sends `pieces`, `delay` apart, and then stays open.
inline lumenary::testing::CannedHTTPResponse openEventStream(
    std::vector<std::string> pieces = {}, std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
    return lumenary::testing::CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}},
                                                 .pieces = std::move(pieces),
                                                 .pieceDelay = delay,
                                                 .heldOpenAfterPieces = true};
}

// A transport that only posts, never holding a GET stream open.
inline HTTPClientTransport::Options postsOnly() {
    HTTPClientTransport::Options options;
    options.streaming = false;
    return options;
}

}  // namespace lumenary::mcp::testing
