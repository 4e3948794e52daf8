#include <gtest/gtest.h>

#include <exception>
#include <memory>
#include <string>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

#include "mcp/core/mcp_error.hpp"
#include "mcp/transports/network_write_queue.hpp"

namespace lumenary::mcp {
namespace {

// Watches one one-shot: whether it has ended, and how.
class Outcome {
public:
    Outcome(asio::io_context& io, async::OneShot<void> shot) : state_(std::make_shared<State>()) {
        asio::co_spawn(
            io,
            [](async::OneShot<void> awaited, std::shared_ptr<State> state) -> asio::awaitable<void> {
                try {
                    co_await awaited.wait();
                    state->succeeded = true;
                } catch (...) {
                    state->failed = true;
                }
            }(std::move(shot), state_),
            asio::detached);
    }
    bool succeeded() const { return state_->succeeded; }
    bool failed() const { return state_->failed; }
    bool pending() const { return !succeeded() && !failed(); }

private:
    struct State {
        bool succeeded = false;
        bool failed = false;
    };
    std::shared_ptr<State> state_;
};

void settle(asio::io_context& io) {
    io.restart();
    io.poll();
}

TEST(NetworkWriteQueueTest, WritesWhatQueuedWhileABatchWasOutAsTheNextBatchInOrder) {
    asio::io_context io;
    NetworkWriteQueue queue(1024);
    Outcome first(io, queue.pushMessage("{\"a\":1}"));
    EXPECT_EQ(queue.takeBatch(), "{\"a\":1}\n");
    Outcome second(io, queue.pushMessage("{\"b\":2}"));
    Outcome heartbeat(io, queue.pushRecord("HEARTBEAT123"));
    Outcome third(io, queue.pushMessage("{\"c\":3}"));
    settle(io);
    EXPECT_TRUE(first.pending());

    queue.batchWritten();
    settle(io);
    EXPECT_TRUE(first.succeeded());
    EXPECT_TRUE(second.pending());
    EXPECT_EQ(queue.takeBatch(), "{\"b\":2}\nHEARTBEAT123{\"c\":3}\n");
    queue.batchWritten();
    settle(io);
    EXPECT_TRUE(second.succeeded() && heartbeat.succeeded() && third.succeeded());
    EXPECT_FALSE(queue.hasQueuedBytes());
}

TEST(NetworkWriteQueueTest, AFailedBatchFailsItsQueuersAndEveryoneBehindThem) {
    asio::io_context io;
    NetworkWriteQueue queue(1024);
    Outcome sent(io, queue.pushMessage("[1]"));
    (void)queue.takeBatch();
    Outcome behind(io, queue.pushMessage("[2]"));
    queue.batchFailed(std::make_exception_ptr(MCPError::internalError("Send error: Broken pipe")));
    settle(io);
    EXPECT_TRUE(sent.failed());
    EXPECT_TRUE(behind.failed());
    EXPECT_FALSE(queue.hasQueuedBytes());
    EXPECT_FALSE(queue.isWriting());
}

TEST(NetworkWriteQueueTest, HoldsQueuersBackAtTheBoundUntilTheWriterTakesTheBytes) {
    asio::io_context io;
    NetworkWriteQueue queue(8);
    Outcome written(io, queue.pushMessage("0123456789"));
    EXPECT_FALSE(queue.hasRoom());
    Outcome room(io, queue.waitForRoom());
    settle(io);
    EXPECT_TRUE(room.pending());
    EXPECT_EQ(queue.roomWaiterCount(), 1u);

    (void)queue.takeBatch();
    settle(io);
    EXPECT_TRUE(room.succeeded());
    EXPECT_TRUE(queue.hasRoom());
    queue.batchWritten();
    settle(io);
    EXPECT_TRUE(written.succeeded());
}

TEST(NetworkWriteQueueTest, FailingAllKeepsTheBatchStillOutAndEndsEveryWait) {
    asio::io_context io;
    NetworkWriteQueue queue(4);
    Outcome out(io, queue.pushMessage("[1]"));
    const auto batch = queue.takeBatch();
    Outcome queued(io, queue.pushMessage("[22]"));
    Outcome room(io, queue.waitForRoom());
    queue.failAll(std::make_exception_ptr(MCPError::connectionClosed()));
    settle(io);
    EXPECT_TRUE(out.failed() && queued.failed() && room.succeeded());
    // The connection may still be writing from it.
    EXPECT_EQ(batch, "[1]\n");
}

}  // namespace
}  // namespace lumenary::mcp
