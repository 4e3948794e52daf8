#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace lumenary::platform {

// Keeps requests to one host at least `interval` apart, as public services
// ask of their users. Safe to use from any thread; `waitForTurn` blocks, so
// it is called on the worker pool.
class RequestSpacing {
public:
    explicit RequestSpacing(std::chrono::milliseconds interval) : interval_(interval) {}

    // Returns when a request to `host` may go; the turn is taken at once, so
    // callers that come together leave one interval apart.
    void waitForTurn(const std::string& host);

private:
    using Clock = std::chrono::steady_clock;

    std::chrono::milliseconds interval_;
    std::mutex mutex_;
    std::map<std::string, Clock::time_point> nextTurn_;
};

// The scheme and authority of an absolute URL ("https://example.org:8080"),
// or the whole text when it has no "://".
std::string urlOrigin(const std::string& url);

}  // namespace lumenary::platform
