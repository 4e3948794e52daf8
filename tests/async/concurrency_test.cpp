// Producers, resumers and cancellers on threads of their own, consumers on a
// strand of a context run by several threads. Run these many times over
// (--gtest_repeat) to shake out races.

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <asio/co_spawn.hpp>
#include <asio/strand.hpp>
#include <asio/use_future.hpp>

#include "async/context_runner.hpp"
#include "async/one_shot.hpp"
#include "async/queue.hpp"
#include "async/task.hpp"
#include "async/timeout_error.hpp"
#include "async/with_timeout.hpp"

namespace lumenary::async {
namespace {

using namespace std::chrono_literals;
using test::ContextThreads;
using test::kDeadline;
using Strand = asio::strand<asio::io_context::executor_type>;

constexpr int kProducers = 4;
constexpr int kItemsEach = 300;

struct Received {
    int count = 0;
    int outOfOrder = 0;
    int offStrand = 0;
    int timeouts = 0;
};

// Items are producer * kItemsEach + sequence; each producer's items must
// arrive in its own order.
asio::awaitable<Received> consume(Queue<int> queue, Strand strand, bool timeOutOften) {
    Received received;
    std::vector<int> lastSeen(kProducers, -1);
    for (;;) {
        std::optional<int> item;
        if (timeOutOften) {
            try {
                item = co_await withTimeout(queue.next(), 50us);
            } catch (const TimeoutError&) {
                ++received.timeouts;
                continue;
            }
        } else {
            item = co_await queue.next();
        }
        if (!strand.running_in_this_thread()) {
            ++received.offStrand;
        }
        if (!item) {
            co_return received;
        }
        const int producer = *item / kItemsEach;
        const int sequence = *item % kItemsEach;
        if (sequence <= lastSeen[producer]) {
            ++received.outOfOrder;
        }
        lastSeen[producer] = sequence;
        ++received.count;
    }
}

Received produceAcrossThreads(bool timeOutOften) {
    ContextThreads threads(3);
    auto strand = asio::make_strand(threads.context());
    Queue<int> queue;
    auto consumer = asio::co_spawn(strand, consume(queue, strand, timeOutOften), asio::use_future);

    auto producing = std::make_shared<std::atomic<int>>(kProducers);
    std::vector<std::thread> producers;
    for (int producer = 0; producer < kProducers; ++producer) {
        producers.emplace_back([queue, producer, producing] {
            for (int sequence = 0; sequence < kItemsEach; ++sequence) {
                queue.push(producer * kItemsEach + sequence);
            }
            if (--*producing == 0) {
                queue.finish();
            }
        });
    }
    for (auto& producer : producers) {
        producer.join();
    }
    if (consumer.wait_for(kDeadline) != std::future_status::ready) {
        ADD_FAILURE() << "the consumer did not reach the end before the deadline";
        queue.finish(std::make_exception_ptr(std::runtime_error("test deadline")));
        return {};
    }
    return consumer.get();
}

TEST(QueueAcrossThreads, ProducersOnOtherThreadsReachAConsumerOnItsStrandInOrder) {
    const auto received = produceAcrossThreads(false);
    EXPECT_EQ(received.count, kProducers * kItemsEach);
    EXPECT_EQ(received.outOfOrder, 0);
    EXPECT_EQ(received.offStrand, 0);
}

// Every timeout cancels a wait that a producer may be completing at that very
// moment; either way no item may be lost or delivered twice.
TEST(QueueAcrossThreads, ConsumerThatKeepsTimingOutLosesNothing) {
    const auto received = produceAcrossThreads(true);
    EXPECT_EQ(received.count, kProducers * kItemsEach);
    EXPECT_EQ(received.outOfOrder, 0);
    EXPECT_EQ(received.offStrand, 0);
}

TEST(OneShotAcrossThreads, RacingResumesSettleItOnce) {
    ContextThreads threads(2);
    auto strand = asio::make_strand(threads.context());
    for (int round = 0; round < 10; ++round) {
        OneShot<int> shot;
        auto waiting = asio::co_spawn(strand, shot.wait(), asio::use_future);
        std::atomic<int> winners{0};
        std::atomic<int> winningValue{-1};
        std::vector<std::thread> racers;
        for (int value = 0; value < 4; ++value) {
            racers.emplace_back([shot, value, &winners, &winningValue] {
                if (shot.resume(value)) {
                    ++winners;
                    winningValue = value;
                }
            });
        }
        for (auto& racer : racers) {
            racer.join();
        }
        EXPECT_EQ(winners, 1);
        ASSERT_EQ(waiting.wait_for(kDeadline), std::future_status::ready);
        EXPECT_EQ(waiting.get(), winningValue);
    }
}

TEST(TaskAcrossThreads, CancelFromAnotherThreadStopsABusyConsumer) {
    ContextThreads threads(3);
    auto strand = asio::make_strand(threads.context());
    Queue<int> queue;
    auto received = std::make_shared<std::atomic<int>>(0);
    auto task = Task::spawn(strand, [queue, received]() -> asio::awaitable<void> {
        while (auto item = co_await queue.next()) {
            ++*received;
        }
    });

    auto stop = std::make_shared<std::atomic<bool>>(false);
    std::thread producer([queue, stop] {
        for (int item = 0; !*stop; ++item) {
            if (queue.size() > 100) {
                std::this_thread::yield();
                continue;
            }
            queue.push(item);
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (*received < 50 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    std::thread([task] { task.cancel(); }).join();

    auto joined = asio::co_spawn(threads.context(), task.join(), asio::use_future);
    const bool ended = joined.wait_for(kDeadline) == std::future_status::ready;
    *stop = true;
    producer.join();
    queue.finish();
    ASSERT_TRUE(ended) << "the cancelled task did not end";
    EXPECT_TRUE(task.isCancelled());
    EXPECT_TRUE(task.isFinished());
    EXPECT_GE(*received, 50);
}

}  // namespace
}  // namespace lumenary::async
