#include "platform/maps/request_spacing.hpp"

#include <algorithm>
#include <thread>

namespace lumenary::platform {

void RequestSpacing::waitForTurn(const std::string& host) {
    Clock::time_point turn;
    {
        std::lock_guard lock(mutex_);
        const auto now = Clock::now();
        auto& next = nextTurn_[host];
        turn = std::max(now, next);
        next = turn + interval_;
    }
    std::this_thread::sleep_until(turn);
}

std::string urlOrigin(const std::string& url) {
    const auto scheme = url.find("://");
    if (scheme == std::string::npos) {
        return url;
    }
    return url.substr(0, url.find_first_of("/?#", scheme + 3));
}

}  // namespace lumenary::platform
