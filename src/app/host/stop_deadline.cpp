#include "app/host/stop_deadline.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <utility>

#include "mcp/server/stdio_transport.hpp"

namespace lumenary::app {

namespace {

std::atomic<bool> stopDeadlineArmed{false};
std::atomic<bool> stopLastWordsWritten{false};

// The end of the limit kept for the last words: the defaults to the disk,
// then the output already queued for a client that still reads it.
constexpr std::chrono::milliseconds lastWordsTime{250};

}  // namespace

void StopDeadline::arm(std::chrono::milliseconds limit, std::function<void()> lastWords, int status) {
    if (stopDeadlineArmed.exchange(true)) {
        return;
    }
    const auto end = std::chrono::steady_clock::now() + limit;
    try {
        // Detached and holding nothing it shares: the process may end at
        // any moment of its sleep.
        std::thread([end, limit, lastWords = std::move(lastWords), status] {
            std::this_thread::sleep_until(end - std::min(limit, lastWordsTime));
            if (!stopLastWordsWritten.exchange(true)) {
                if (lastWords) {
                    lastWords();
                }
                // The executors that would write them may never run again
                // (a call stuck on one holds the stop).
                mcp::StdioTransport::flushAllUntil(end);
            } else {
                std::this_thread::sleep_until(end);
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
