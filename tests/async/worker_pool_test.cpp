#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <stdexcept>
#include <string>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/strand.hpp>
#include <asio/use_future.hpp>

#include "async/context_runner.hpp"
#include "async/worker_pool.hpp"

namespace lumenary::async {
namespace {

using test::ContextThreads;
using test::kDeadline;
using Strand = asio::strand<asio::io_context::executor_type>;

struct Observed {
    bool workRanOnTheStrand = true;
    bool resumedOnTheStrand = false;
    std::string result;
    std::string error;
    bool voidWorkRan = false;
    bool resumedOnTheStrandAfterVoidWork = false;
};

// On a context run by several threads, only the strand keeps the caller's
// state safe: every resumption must come back onto it.
asio::awaitable<Observed> callFromStrand(Strand strand) {
    Observed observed;
    auto reportWhere = [strand] { return std::string(strand.running_in_this_thread() ? "on the strand" : "on the pool"); };
    observed.result = co_await runBlocking(std::move(reportWhere));
    observed.workRanOnTheStrand = observed.result == "on the strand";
    observed.resumedOnTheStrand = strand.running_in_this_thread();

    try {
        auto fail = []() -> int { throw std::runtime_error("the disk is gone"); };
        co_await runBlocking(std::move(fail));
    } catch (const std::runtime_error& error) {
        observed.error = error.what();
    }

    auto ran = std::make_shared<bool>(false);
    auto markRan = [ran] { *ran = true; };
    co_await runBlocking(std::move(markRan));
    observed.voidWorkRan = *ran;
    observed.resumedOnTheStrandAfterVoidWork = strand.running_in_this_thread();
    co_return observed;
}

TEST(WorkerPool, RunsWorkOffTheCallerAndResumesItOnItsStrandWithTheOutcome) {
    ContextThreads threads(4);
    const auto strand = asio::make_strand(threads.context());
    auto future = asio::co_spawn(strand, callFromStrand(strand), asio::use_future);
    ASSERT_EQ(future.wait_for(kDeadline), std::future_status::ready);
    const auto observed = future.get();
    EXPECT_FALSE(observed.workRanOnTheStrand);
    EXPECT_EQ(observed.result, "on the pool");
    EXPECT_TRUE(observed.resumedOnTheStrand);
    EXPECT_EQ(observed.error, "the disk is gone");
    EXPECT_TRUE(observed.voidWorkRan);
    EXPECT_TRUE(observed.resumedOnTheStrandAfterVoidWork);
}

// The work is let go on the pool before the caller goes on, so what it
// alone owned is released by then; a move-only result needs no default value.
asio::awaitable<bool> workIsReleasedOnResumption() {
    auto owned = std::make_shared<int>(5);
    std::weak_ptr<int> watched = owned;
    auto copyOwned = [owned = std::move(owned)] { return std::make_unique<int>(*owned); };
    auto result = co_await runBlocking(std::move(copyOwned));
    co_return watched.expired() && *result == 5;
}

TEST(WorkerPool, ReleasesTheWorkBeforeTheCallerResumes) {
    asio::io_context io;
    EXPECT_TRUE(test::runToEnd(io, workIsReleasedOnResumption()));
}

}  // namespace
}  // namespace lumenary::async
