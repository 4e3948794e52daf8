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

// The end of the limit in which the output already queued for a client
// that still reads it is written, while the stop may still finish.
constexpr std::chrono::milliseconds outputTime{250};

}  // namespace

void StopDeadline::arm(std::chrono::milliseconds limit, std::function<void()> lastWords, int status) {
    if (stopDeadlineArmed.exchange(true)) {
        return;
    }
    const auto end = std::chrono::steady_clock::now() + limit;
    try {
        // Detached: the process may end at any moment of its sleep. What it
        // shares, the open transports, it holds only under their own locks,
        // never past the end, so an orderly stop may run beside the flush.
        std::thread([end, limit, lastWords = std::move(lastWords), status] {
            std::this_thread::sleep_until(end - std::min(limit, outputTime));
            // The executors that would write the replies may never run again
            // (a call stuck on one holds the stop). The stop keeps its time
            // meanwhile: a flush that finds nothing queued returns at once.
            mcp::StdioTransport::flushAllUntil(end);
            std::this_thread::sleep_until(end);
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
