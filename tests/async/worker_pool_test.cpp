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

// On a context run by several threads, only the strand keeps the caller's
// state safe: every resumption, after a value, a throw or nothing, must come
// back onto it. The text tells what happened, in order.
asio::awaitable<std::string> callFromStrand(Strand strand) {
    const auto where = [strand] { return std::string(strand.running_in_this_thread() ? "strand" : "pool"); };
    auto reportWhere = where;
    std::string story = "ran on " + co_await runBlocking(std::move(reportWhere));
    story += ", resumed on " + where();
    try {
        auto fail = []() -> int { throw std::runtime_error("the disk is gone"); };
        co_await runBlocking(std::move(fail));
    } catch (const std::runtime_error& error) {
        story += std::string(", caught ") + error.what() + " on " + where();
    }
    auto ran = std::make_shared<bool>(false);
    auto markRan = [ran] { *ran = true; };
    co_await runBlocking(std::move(markRan));
    story += std::string(*ran ? ", void work ran" : ", void work did not run") + ", resumed on " + where();
    co_return story;
}

TEST(WorkerPool, RunsWorkOffTheCallerAndResumesItOnItsStrandWithTheOutcome) {
    ContextThreads threads(4);
    const auto strand = asio::make_strand(threads.context());
    auto story = asio::co_spawn(strand, callFromStrand(strand), asio::use_future);
    ASSERT_EQ(story.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(story.get(),
              "ran on pool, resumed on strand, caught the disk is gone on strand, void work ran, resumed on strand");
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
