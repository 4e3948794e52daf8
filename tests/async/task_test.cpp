#include "async/task.hpp"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/use_future.hpp>

#include "async/cancellation.hpp"
#include "async/context_runner.hpp"
#include "async/one_shot.hpp"
#include "async/sleep_for.hpp"

namespace lumenary::async {
namespace {

using namespace std::chrono_literals;
using test::isReady;
using test::runReady;
using test::runToEnd;
using test::runUntil;

bool endedWithOperationAborted(const Task& task) {
    try {
        std::rethrow_exception(task.error());
    } catch (const asio::system_error& error) {
        return error.code() == asio::error::operation_aborted;
    } catch (...) {
        return false;
    }
}

// Counts its steps until asked to stop; each step awaits something that
// cannot be cancelled, so the request lands between checks.
asio::awaitable<void> countUntilCancelled(std::shared_ptr<std::atomic<int>> steps) {
    for (;;) {
        const bool cancelled = co_await isCancelled();
        if (cancelled) {
            co_return;
        }
        ++*steps;
        co_await asio::post(asio::use_awaitable);
    }
}

TEST(Task, CancelStopsASleepingTaskAndStaysCancelled) {
    asio::io_context io;
    auto task = Task::spawn(io.get_executor(), sleepFor(1h));
    runReady(io);
    ASSERT_FALSE(task.isFinished());
    EXPECT_FALSE(task.isCancelled());

    task.cancel();
    task.cancel();
    EXPECT_TRUE(task.isCancelled());
    ASSERT_TRUE(runUntil(io, [&] { return task.isFinished(); }));
    EXPECT_TRUE(endedWithOperationAborted(task));
    task.cancel();
    runReady(io);
    EXPECT_TRUE(task.isCancelled());
}

TEST(Task, CancellingAFinishedTaskIsHarmless) {
    asio::io_context io;
    auto task = Task::spawn(io.get_executor(), sleepFor(0s));
    ASSERT_TRUE(runUntil(io, [&] { return task.isFinished(); }));
    task.cancel();
    runReady(io);
    EXPECT_TRUE(task.isCancelled());
    EXPECT_EQ(task.error(), nullptr);
}

TEST(Task, LoopSeesACancellationThatArrivedBetweenItsChecks) {
    asio::io_context io;
    auto steps = std::make_shared<std::atomic<int>>(0);
    auto task = Task::spawn(io.get_executor(), countUntilCancelled(steps));
    ASSERT_TRUE(runUntil(io, [&] { return *steps >= 3; }));

    task.cancel();
    ASSERT_TRUE(runUntil(io, [&] { return task.isFinished(); }));
    EXPECT_EQ(task.error(), nullptr) << "the loop should stop by itself, not by an exception";
    const int stepsAtEnd = *steps;
    runReady(io);
    EXPECT_EQ(*steps, stepsAtEnd);
}

TEST(Task, WaitStartedAfterCancellationThrowsAtOnce) {
    asio::io_context io;
    auto steps = std::make_shared<std::atomic<int>>(0);
    auto task = Task::spawn(io.get_executor(), [steps]() -> asio::awaitable<void> {
        co_await countUntilCancelled(steps);
        co_await sleepFor(1h);
    });
    ASSERT_TRUE(runUntil(io, [&] { return *steps >= 1; }));

    task.cancel();
    ASSERT_TRUE(runUntil(io, [&] { return task.isFinished(); }));
    EXPECT_TRUE(endedWithOperationAborted(task));
}

TEST(Task, BodyCancelledBeforeItStartsStillRunsAndSeesIt) {
    asio::io_context io;
    auto sawCancel = std::make_shared<bool>(false);
    auto task =
        Task::spawn(io.get_executor(), [sawCancel]() -> asio::awaitable<void> { *sawCancel = co_await isCancelled(); });
    task.cancel();

    ASSERT_TRUE(runUntil(io, [&] { return task.isFinished(); }));
    EXPECT_TRUE(*sawCancel);
    EXPECT_EQ(task.error(), nullptr);
}

TEST(Task, BodyNeverRunsInsideSpawnEvenOnItsOwnExecutor) {
    asio::io_context io;
    auto started = std::make_shared<bool>(false);
    auto spawner = [started]() -> asio::awaitable<bool> {
        // Separate statements: g++ 12 destroys twice a lambda written in the
        // same statement as a co_await.
        auto executor = co_await asio::this_coro::executor;
        auto body = [started]() -> asio::awaitable<void> {
            *started = true;
            co_return;
        };
        auto task = Task::spawn(executor, body);
        co_return *started;
    };
    EXPECT_FALSE(runToEnd(io, spawner()));
    ASSERT_TRUE(runUntil(io, [&] { return *started; }));
}

TEST(Task, JoinEndsForEveryJoinerAfterTheTaskEnds) {
    asio::io_context io;
    OneShot<void> gate;
    auto task = Task::spawn(io.get_executor(), gate.wait());
    std::vector<std::future<void>> joiners;
    for (int i = 0; i < 3; ++i) {
        joiners.push_back(asio::co_spawn(io, task.join(), asio::use_future));
    }
    runReady(io);
    for (const auto& joiner : joiners) {
        EXPECT_FALSE(isReady(joiner));
    }

    gate.resume();
    ASSERT_TRUE(runUntil(io, [&] {
        for (const auto& joiner : joiners) {
            if (!isReady(joiner)) {
                return false;
            }
        }
        return true;
    }));
    EXPECT_TRUE(task.isFinished());
    EXPECT_NO_THROW(runToEnd(io, task.join())) << "joining an ended task returns at once";
}

TEST(Task, ExceptionEscapingTheBodyIsRecordedNotRethrown) {
    asio::io_context io;
    auto task = Task::spawn(io.get_executor(), []() -> asio::awaitable<void> {
        co_await asio::post(asio::use_awaitable);
        throw std::runtime_error("tool crashed");
    });

    EXPECT_NO_THROW(runToEnd(io, task.join()));
    ASSERT_TRUE(task.isFinished());
    try {
        std::rethrow_exception(task.error());
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "tool crashed");
    }
}

TEST(Task, SpawnedCallableOutlivesTheCallThatMadeIt) {
    asio::io_context io;
    OneShot<void> gate;
    auto seen = std::make_shared<std::string>();
    Task task = [&] {
        auto text = std::string(64, 'x');  // long enough to live on the heap
        return Task::spawn(io.get_executor(), [gate, seen, text]() -> asio::awaitable<void> {
            co_await gate.wait();
            *seen = text;
        });
    }();
    runReady(io);
    gate.resume();

    ASSERT_TRUE(runUntil(io, [&] { return task.isFinished(); }));
    EXPECT_EQ(*seen, std::string(64, 'x'));
}

}  // namespace
}  // namespace lumenary::async
