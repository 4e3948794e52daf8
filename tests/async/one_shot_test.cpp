#include "async/one_shot.hpp"

#include <memory>
#include <stdexcept>

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

TEST(OneShot, ResumeAfterTheWaitBeganWakesTheWaiterOnItsExecutor) {
    asio::io_context io;
    OneShot<int> shot;
    auto waiting = asio::co_spawn(io, shot.wait(), asio::use_future);
    runReady(io);
    ASSERT_FALSE(isReady(waiting));

    EXPECT_TRUE(shot.resume(4));
    EXPECT_FALSE(isReady(waiting)) << "the waiter ran inline on the resuming thread";
    ASSERT_TRUE(runUntil(io, [&] { return isReady(waiting); }));
    EXPECT_EQ(waiting.get(), 4);
}

TEST(OneShot, KeepsTheFirstResumeMadeBeforeTheWaitAndIgnoresLaterOnes) {
    asio::io_context io;
    OneShot<int> shot;
    const OneShot<int> copy = shot;  // copies share one outcome
    EXPECT_TRUE(copy.resume(1));
    EXPECT_FALSE(shot.resume(2));
    EXPECT_FALSE(shot.fail(std::make_exception_ptr(std::runtime_error("late"))));
    EXPECT_EQ(runToEnd(io, shot.wait()), 1);
}

TEST(OneShot, FailThrowsInTheWaiter) {
    asio::io_context io;
    OneShot<int> shot;
    EXPECT_TRUE(shot.fail(std::make_exception_ptr(std::runtime_error("no reply"))));
    EXPECT_FALSE(shot.resume(1));
    try {
        runToEnd(io, shot.wait());
        FAIL() << "expected the failure";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "no reply");
    }
}

TEST(OneShot, CancelledWaitLeavesTheValueForALaterWait) {
    asio::io_context io;
    OneShot<int> shot;
    asio::cancellation_signal signal;
    auto cancelled = asio::co_spawn(io, shot.wait(), asio::bind_cancellation_slot(signal.slot(), asio::use_future));
    runReady(io);
    signal.emit(asio::cancellation_type::terminal);
    ASSERT_TRUE(runUntil(io, [&] { return isReady(cancelled); }));
    EXPECT_THROW(cancelled.get(), asio::system_error);

    shot.resume(6);
    EXPECT_EQ(runToEnd(io, shot.wait()), 6);
}

TEST(OneShot, WaitAfterTheValueWasTakenIsALogicError) {
    asio::io_context io;
    OneShot<std::unique_ptr<int>> shot;
    shot.resume(std::make_unique<int>(8));
    EXPECT_EQ(*runToEnd(io, shot.wait()), 8);
    EXPECT_THROW(runToEnd(io, shot.wait()), std::logic_error);
}

TEST(OneShot, VoidCarriesOnlyTheOutcome) {
    asio::io_context io;
    OneShot<void> done;
    auto waiting = asio::co_spawn(io, done.wait(), asio::use_future);
    runReady(io);
    EXPECT_TRUE(done.resume());
    EXPECT_FALSE(done.resume());
    ASSERT_TRUE(runUntil(io, [&] { return isReady(waiting); }));
    EXPECT_NO_THROW(waiting.get());

    OneShot<void> failed;
    failed.fail(std::make_exception_ptr(std::runtime_error("aborted")));
    EXPECT_THROW(runToEnd(io, failed.wait()), std::runtime_error);
}

}  // namespace
}  // namespace lumenary::async
