#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace lumenary::platform {

// Keeps requests to each of the spaced hosts at least `interval` apart, as
// public services ask of their users; any other host (a service the person
// runs) is answered at once. Safe to use from any thread; `waitForTurn`
// blocks, so it is called on the worker pool.
class RequestSpacing {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    // The time and the wait, injectable so that a test need not sleep.
    struct Clock {
        std::function<TimePoint()> now;
        std::function<void(TimePoint)> sleepUntil;
    };
    static Clock steadyClock();

    RequestSpacing(std::chrono::milliseconds interval, std::set<std::string> spacedHosts, Clock clock = steadyClock())
        : interval_(interval), spacedHosts_(std::move(spacedHosts)), clock_(std::move(clock)) {}

    // Returns when a request to `host` may go; the turn is taken at once, so
    // callers that come together leave one interval apart.
    void waitForTurn(const std::string& host);

private:
    std::chrono::milliseconds interval_;
    const std::set<std::string> spacedHosts_;
    Clock clock_;
    std::mutex mutex_;
    std::map<std::string, TimePoint> nextTurn_;
};

// The scheme and authority of an absolute URL ("https://example.org:8080"),
// or the whole text when it has no "://".
std::string urlOrigin(const std::string& url);

}  // namespace lumenary::platform
