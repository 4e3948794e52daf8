#include "app/http/endpoint_threads.hpp"

#include <algorithm>

namespace lumenary::http {

namespace {

// Runs `context` until it is stopped or out of work, polling for up to
// `window` after the last handler before it sleeps in the system.
void runPollingBeforeSleeping(asio::io_context& context, std::chrono::microseconds window) {
    using Clock = std::chrono::steady_clock;
    // Nothing has run yet: a thread that starts idle sleeps at once.
    Clock::time_point lastRan{};
    for (;;) {
        if (context.poll() > 0) {
            lastRan = Clock::now();
        } else if (context.stopped()) {
            return;
        } else if (Clock::now() - lastRan >= window) {
            if (context.run_one() == 0) return;
            lastRan = Clock::now();
        }
    }
}

}  // namespace

EndpointThreads::EndpointThreads(std::size_t count, std::chrono::microseconds pollBeforeSleeping) {
    count = std::max<std::size_t>(count, 1);
    for (std::size_t index = 0; index < count; ++index) {
        // Each context is run by exactly one thread, which it can plan for.
        auto& context = contexts_.emplace_back(std::make_unique<asio::io_context>(1));
        workGuards_.emplace_back(context->get_executor());
        executors_.emplace_back(context->get_executor());
    }
    for (auto& context : contexts_) {
        threads_.emplace_back(
            [&context = *context, pollBeforeSleeping] { runPollingBeforeSleeping(context, pollBeforeSleeping); });
    }
}

EndpointThreads::~EndpointThreads() {
    stop();
}

void EndpointThreads::stop() {
    workGuards_.clear();
    for (auto& context : contexts_) {
        context->stop();
    }
    for (auto& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
}

}  // namespace lumenary::http
