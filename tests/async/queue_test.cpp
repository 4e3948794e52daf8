#include "async/queue.hpp"

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>
#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include "async/context_runner.hpp"

namespace lumenary::async {
namespace {

using test::isReady;
using test::runReady;
using test::runToEnd;
using test::runUntil;

asio::awaitable<std::vector<int>> drain(Queue<int> queue) {
    std::vector<int> items;
    while (auto item = co_await queue.next()) {
        items.push_back(*item);
    }
    co_return items;
}

TEST(Queue, DeliversQueuedItemsInPushOrderBeforeTheEnd) {
    asio::io_context io;
    Queue<int> queue;
    for (int item : {1, 2, 3}) {
        EXPECT_TRUE(queue.push(item));
    }
    queue.finish();
    EXPECT_TRUE(queue.isFinished());
    EXPECT_EQ(queue.size(), 3U);

    EXPECT_EQ(runToEnd(io, drain(queue)), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(runToEnd(io, queue.next()), std::nullopt);
}

TEST(Queue, WaitingConsumerIsResumedThroughItsExecutorNotByThePusher) {
    asio::io_context io;
    Queue<int> queue;
    auto consumer = asio::co_spawn(io, queue.next(), asio::use_future);
    runReady(io);
    ASSERT_FALSE(isReady(consumer));

    EXPECT_TRUE(queue.push(7));
    EXPECT_FALSE(isReady(consumer)) << "the consumer ran inline on the pushing thread";
    ASSERT_TRUE(runUntil(io, [&] { return isReady(consumer); }));
    EXPECT_EQ(consumer.get(), 7);
    EXPECT_EQ(queue.size(), 0U);
}

TEST(Queue, FinishWithErrorDeliversItemsThenThrowsOnce) {
    asio::io_context io;
    Queue<int> queue;
    queue.push(1);
    queue.finish(std::make_exception_ptr(std::runtime_error("peer closed the stream")));

    EXPECT_EQ(runToEnd(io, queue.next()), 1);
    try {
        runToEnd(io, queue.next());
        FAIL() << "expected the finishing error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "peer closed the stream");
    }
    EXPECT_EQ(runToEnd(io, queue.next()), std::nullopt);
}

TEST(Queue, FinishWakesAWaitingConsumer) {
    asio::io_context io;
    Queue<int> clean;
    Queue<int> failed;
    auto cleanEnd = asio::co_spawn(io, clean.next(), asio::use_future);
    auto failedEnd = asio::co_spawn(io, failed.next(), asio::use_future);
    runReady(io);

    clean.finish();
    failed.finish(std::make_exception_ptr(std::runtime_error("reset")));
    ASSERT_TRUE(runUntil(io, [&] { return isReady(cleanEnd) && isReady(failedEnd); }));
    EXPECT_EQ(cleanEnd.get(), std::nullopt);
    EXPECT_THROW(failedEnd.get(), std::runtime_error);
}

TEST(Queue, FirstFinishWinsAndLaterPushesAreRefused) {
    asio::io_context io;
    Queue<int> failedFirst;
    failedFirst.finish(std::make_exception_ptr(std::runtime_error("first")));
    failedFirst.finish();
    EXPECT_FALSE(failedFirst.push(1));
    EXPECT_THROW(runToEnd(io, failedFirst.next()), std::runtime_error);

    Queue<int> cleanFirst;
    cleanFirst.finish();
    cleanFirst.finish(std::make_exception_ptr(std::runtime_error("second")));
    EXPECT_FALSE(cleanFirst.push(1));
    EXPECT_EQ(cleanFirst.size(), 0U);
    EXPECT_EQ(runToEnd(io, cleanFirst.next()), std::nullopt);
}

// Cancellation and a push can both reach a waiting consumer before it runs
// again; whichever gets there first, the item is delivered exactly once.
TEST(Queue, CancelRacingAPushDeliversTheItemExactlyOnce) {
    for (bool cancelFirst : {true, false}) {
        SCOPED_TRACE(cancelFirst ? "cancel, then push" : "push, then cancel");
        asio::io_context io;
        Queue<int> queue;
        asio::cancellation_signal signal;
        auto waiting = asio::co_spawn(io, queue.next(), asio::bind_cancellation_slot(signal.slot(), asio::use_future));
        runReady(io);

        if (cancelFirst) {
            signal.emit(asio::cancellation_type::terminal);
            queue.push(9);
        } else {
            queue.push(9);
            signal.emit(asio::cancellation_type::terminal);
        }
        ASSERT_TRUE(runUntil(io, [&] { return isReady(waiting); }));

        if (cancelFirst) {
            try {
                waiting.get();
                ADD_FAILURE() << "expected operation_aborted";
            } catch (const asio::system_error& error) {
                EXPECT_EQ(error.code(), asio::error::operation_aborted) << error.what();
            }
            EXPECT_EQ(queue.size(), 1U);
            EXPECT_EQ(runToEnd(io, queue.next()), 9);
        } else {
            EXPECT_EQ(waiting.get(), 9);
            EXPECT_EQ(queue.size(), 0U);
        }
    }
}

// What a cleared item holds goes at once, while a copy of the queue lives
// on; the queue then weighs nothing, lets a waiting producer go, and still
// ends as it was finished.
TEST(Queue, ClearDropsTheQueuedItemsAndWhatTheyHold) {
    for (const bool finished : {false, true}) {
        SCOPED_TRACE(finished ? "finished" : "open");
        asio::io_context io;
        Queue<std::shared_ptr<int>> queue([](const std::shared_ptr<int>&) { return std::size_t{10}; });
        auto held = std::make_shared<int>(1);
        const std::weak_ptr<int> watched = held;
        EXPECT_TRUE(queue.push(std::move(held)));
        EXPECT_TRUE(queue.push(std::make_shared<int>(2)));
        auto producer = asio::co_spawn(io, queue.waitUntilBelow(1), asio::use_future);
        runReady(io);
        ASSERT_FALSE(isReady(producer));
        if (finished) {
            queue.finish();
            // A finished queue lets its producer go on its own.
            ASSERT_TRUE(runUntil(io, [&] { return isReady(producer); }));
        }
        const auto copy = queue;

        queue.clear();
        EXPECT_TRUE(watched.expired());
        EXPECT_EQ(copy.size(), 0U);
        EXPECT_EQ(copy.weight(), 0U);
        ASSERT_TRUE(runUntil(io, [&] { return isReady(producer); }));
        producer.get();
        if (finished) {
            EXPECT_EQ(runToEnd(io, copy.next()), std::nullopt);
        } else {
            EXPECT_TRUE(copy.push(std::make_shared<int>(3)));
            EXPECT_EQ(*runToEnd(io, copy.next()).value(), 3);
        }
    }
}

}  // namespace
}  // namespace lumenary::async
