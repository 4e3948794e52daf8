#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include "async/context_runner.hpp"
#include "async/one_shot.hpp"
#include "async/queue.hpp"
#include "async/sleep_for.hpp"
#include "async/timeout_error.hpp"
#include "async/with_timeout.hpp"

namespace lumenary::async {
namespace {

using namespace std::chrono_literals;
using test::isReady;
using test::runReady;
using test::runToEnd;
using test::runUntil;

asio::awaitable<int> failAtOnce() {
    throw std::runtime_error("connection refused");
    co_return 0;
}

asio::awaitable<int> answerAtOnce() { co_return 7; }

// True when nothing is left for the context to do: no timer still pending.
bool hasNoWorkLeft(asio::io_context& io) {
    runReady(io);
    return io.stopped();
}

TEST(SleepFor, WaitsAtLeastTheDuration) {
    asio::io_context io;
    const auto start = std::chrono::steady_clock::now();
    runToEnd(io, sleepFor(15ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 15ms);
}

TEST(SleepFor, ThrowsOperationAbortedWhenCancelled) {
    asio::io_context io;
    asio::cancellation_signal signal;
    auto sleeping = asio::co_spawn(io, sleepFor(1h), asio::bind_cancellation_slot(signal.slot(), asio::use_future));
    runReady(io);
    signal.emit(asio::cancellation_type::terminal);

    ASSERT_TRUE(runUntil(io, [&] { return isReady(sleeping); }));
    try {
        sleeping.get();
        FAIL() << "expected operation_aborted";
    } catch (const asio::system_error& error) {
        EXPECT_EQ(error.code(), asio::error::operation_aborted);
    }
    EXPECT_TRUE(hasNoWorkLeft(io));
}

TEST(WithTimeout, ReturnsTheResultAndCancelsTheTimerWhenTheOperationWins) {
    asio::io_context io;
    OneShot<int> reply;
    reply.resume(42);

    EXPECT_EQ(runToEnd(io, withTimeout(reply.wait(), 1h)), 42);
    EXPECT_TRUE(hasNoWorkLeft(io));
}

TEST(WithTimeout, ThrowsTimeoutErrorAndCancelsTheOperationWhenTimeWins) {
    asio::io_context io;
    Queue<int> queue;
    try {
        runToEnd(io, withTimeout(queue.next(), 20ms));
        FAIL() << "expected a timeout";
    } catch (const TimeoutError& error) {
        EXPECT_STREQ(error.what(), "Timed out after 20 ms");
        EXPECT_EQ(error.limit(), 20ms);
    }

    // The abandoned next() no longer waits, so it cannot swallow this item.
    queue.push(1);
    EXPECT_EQ(queue.size(), 1U);
    EXPECT_EQ(runToEnd(io, queue.next()), 1);
}

TEST(WithTimeout, PassesTheOperationsOwnErrorWithoutWaitingOutTheLimit) {
    asio::io_context io;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(runToEnd(io, withTimeout(failAtOnce(), 1h)), std::runtime_error);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(hasNoWorkLeft(io));
}

TEST(WithTimeout, WorksForOperationsWithoutAResult) {
    asio::io_context io;
    EXPECT_NO_THROW(runToEnd(io, withTimeout(sleepFor(0s), 1h)));
    try {
        runToEnd(io, withTimeout(sleepFor(1h), 5ms, "handshake"));
        FAIL() << "expected a timeout";
    } catch (const TimeoutError& error) {
        EXPECT_STREQ(error.what(), "handshake timed out after 5 ms");
    }
}

// The voluntary context switches of one thread of this process.
std::uint64_t switchesOf(pid_t thread) {
    std::ifstream status("/proc/self/task/" + std::to_string(thread) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("voluntary_ctxt_switches:")) {
            return std::stoull(line.substr(24));
        }
    }
    return 0;
}

// An idle program must not wake when a finished request's deadline would
// have run out: the thread that ran it sleeps on.
TEST(WithTimeout, AFinishedOperationsDeadlineDoesNotWakeItsIdleThread) {
    asio::io_context io;
    auto work = asio::make_work_guard(io);
    std::promise<pid_t> runner;
    std::thread thread([&] {
        runner.set_value(static_cast<pid_t>(::gettid()));
        io.run();
    });
    const auto id = runner.get_future().get();
    auto done = asio::co_spawn(
        io, []() -> asio::awaitable<int> { co_return co_await withTimeout(answerAtOnce(), 300ms); }, asio::use_future);
    ASSERT_EQ(done.wait_for(test::kDeadline), std::future_status::ready);
    EXPECT_EQ(done.get(), 7);
    // Settled once the thread is back asleep in its reactor.
    std::this_thread::sleep_for(100ms);
    const auto before = switchesOf(id);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(switchesOf(id), before);
    work.reset();
    io.stop();
    thread.join();
}

}  // namespace
}  // namespace lumenary::async
