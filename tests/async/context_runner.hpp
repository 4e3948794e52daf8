#pragma once

#include <chrono>
#include <cstddef>
#include <future>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

// Drives io_contexts in tests: single-threaded on the test's own thread, or
// on a few threads of their own. Every wait has a deadline.
namespace lumenary::async::test {

inline constexpr std::chrono::seconds kDeadline{5};

// Runs what is ready now, and what that makes ready, without waiting.
inline void runReady(asio::io_context& io) {
    io.restart();
    io.poll();
}

// Runs the context until `done()` holds. False if the deadline passes first.
template <typename Predicate>
bool runUntil(asio::io_context& io, Predicate done, std::chrono::steady_clock::duration limit = kDeadline) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        io.restart();
        // Short slices: the awaited event may come from another thread, with no
        // handler of this context left to wake the wait.
        if (io.run_one_for(std::chrono::milliseconds(2)) == 0) {
            std::this_thread::yield();
        }
    }
    return true;
}

template <typename T>
bool isReady(const std::future<T>& future) {
    return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// Spawns `operation` on the context, runs the context until it ends and
// returns its result (or rethrows its exception).
template <typename T>
T runToEnd(asio::io_context& io, asio::awaitable<T> operation) {
    auto result = asio::co_spawn(io, std::move(operation), asio::use_future);
    if (!runUntil(io, [&] { return isReady(result); })) {
        throw std::runtime_error("the operation did not end before the test deadline");
    }
    return result.get();
}

// An io_context run by `threadCount` threads of its own until destroyed.
class ContextThreads {
public:
    explicit ContextThreads(std::size_t threadCount) : work_(asio::make_work_guard(io_)) {
        for (std::size_t i = 0; i < threadCount; ++i) {
            threads_.emplace_back([this] { io_.run(); });
        }
    }

    ContextThreads(const ContextThreads&) = delete;
    ContextThreads& operator=(const ContextThreads&) = delete;

    ~ContextThreads() {
        work_.reset();
        // Lets outstanding work drain; a test that left something waiting has
        // failed already and must not hang here as well.
        const auto deadline = std::chrono::steady_clock::now() + kDeadline;
        while (!io_.stopped() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        io_.stop();
        for (auto& thread : threads_) {
            thread.join();
        }
    }

    asio::io_context& context() { return io_; }

private:
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::vector<std::thread> threads_;
};

}  // namespace lumenary::async::test
