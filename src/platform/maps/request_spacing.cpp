#include "platform/maps/request_spacing.hpp"

#include <algorithm>
#include <thread>

namespace lumenary::platform {

RequestSpacing::Clock RequestSpacing::steadyClock() {
    return {.now = [] { return std::chrono::steady_clock::now(); },
            .sleepUntil = [](TimePoint turn) { std::this_thread::sleep_until(turn); }};
}

void RequestSpacing::waitForTurn(const std::string& host) {
    if (!spacedHosts_.contains(host)) {
        return;
    }
    TimePoint turn;
    bool mustWait = false;
    {
        std::lock_guard lock(mutex_);
        const auto now = clock_.now();
        auto& next = nextTurn_[host];
        turn = std::max(now, next);
        mustWait = turn > now;
        next = turn + interval_;
    }
    if (mustWait) {
        clock_.sleepUntil(turn);
    }
}

std::string urlOrigin(const std::string& url) {
    const auto scheme = url.find("://");
    if (scheme == std::string::npos) {
        return url;
    }
    return url.substr(0, url.find_first_of("/?#", scheme + 3));
}

}  // namespace lumenary::platform
