#include "app/host/stop_deadline.hpp"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <utility>

namespace lumenary::app {

namespace {

std::atomic<bool> stopDeadlineArmed{false};
std::atomic<bool> stopLastWordsWritten{false};

}  // namespace

void StopDeadline::arm(std::chrono::milliseconds limit, std::function<void()> lastWords, int status) {
    if (stopDeadlineArmed.exchange(true)) {
        return;
    }
    try {
        // Detached and holding nothing it shares: the process may end at
        // any moment of its sleep.
        std::thread([limit, lastWords = std::move(lastWords), status] {
            std::this_thread::sleep_for(limit);
            if (!stopLastWordsWritten.exchange(true) && lastWords) {
                lastWords();
            }
            std::_Exit(status);
        }).detach();
    } catch (const std::system_error&) {
        // Without a thread the stop still runs, only without its deadline.
    }
}

void StopDeadline::writeLastWords(const std::function<void()>& lastWords) {
    if (!stopLastWordsWritten.exchange(true)) {
        lastWords();
        return;
    }
    for (;;) {
        ::pause();
    }
}

}  // namespace lumenary::app
