#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include <asio/io_context.hpp>

#include "async/context_runner.hpp"
#include "mcp/core/mcp_error.hpp"
#include "mcp/transports/in_memory_transport.hpp"

namespace lumenary::mcp {
namespace {

// What a stream yields until it ends, and how it ended ("" for a clean end).
struct Drained {
    std::vector<std::string> messages;
    std::string end;
};

class InMemoryTransportTest : public ::testing::Test {
protected:
    template <typename T>
    T run(asio::awaitable<T> operation) {
        return async::test::runToEnd(io_, std::move(operation));
    }

    // Reads `count` messages, then the end when `untilEnd`.
    Drained drain(async::Queue<ReceivedMessage> stream, std::size_t count, bool untilEnd) {
        return run(draining(std::move(stream), count, untilEnd));
    }

    static asio::awaitable<Drained> draining(async::Queue<ReceivedMessage> stream, std::size_t count, bool untilEnd) {
        Drained drained;
        try {
            while (drained.messages.size() < count || untilEnd) {
                auto message = co_await stream.next();
                if (!message) break;
                drained.messages.push_back(std::move(message->text));
            }
        } catch (const std::exception& error) {
            drained.end = error.what();
        }
        co_return drained;
    }

    std::string failureOf(asio::awaitable<void> operation) {
        try {
            run(std::move(operation));
        } catch (const std::exception& error) {
            return error.what();
        }
        return {};
    }

    asio::io_context io_;
    InMemoryTransport::Pair ends_ = InMemoryTransport::createConnectedPair();
    InMemoryTransport& client_ = *ends_.first;
    InMemoryTransport& server_ = *ends_.second;
};

TEST_F(InMemoryTransportTest, RefusesWhatCannotWork) {
    const auto unpaired = InMemoryTransport::create();
    EXPECT_EQ(failureOf(unpaired->connect()),
              "Internal error: Transport not paired. Use createConnectedPair() to create paired transports.");
    EXPECT_EQ(failureOf(client_.send("x")), "Internal error: Transport not connected");
    run(client_.connect());
    EXPECT_EQ(failureOf(client_.connect()), "");
    EXPECT_EQ(ends_.first->logger().label(), "mcp.transport.in-memory.client");
    EXPECT_EQ(ends_.second->logger().label(), "mcp.transport.in-memory.server");
}

TEST_F(InMemoryTransportTest, KeepsWhatArrivesBeforeThePeerReads) {
    run(client_.connect());
    run(client_.send("sent before the server connected"));
    run(server_.connect());
    run(client_.send("sent before the server read"));
    auto stream = server_.receive();
    run(client_.send("sent while the server reads"));
    EXPECT_EQ(drain(stream, 3, false).messages,
              (std::vector<std::string>{"sent before the server connected", "sent before the server read",
                                        "sent while the server reads"}));
}

TEST_F(InMemoryTransportTest, AStreamTakenWhileDisconnectedEndsAndLaterMessagesWaitForTheNext) {
    run(client_.connect());
    run(client_.send("early"));
    EXPECT_EQ(drain(server_.receive(), 0, true).messages, std::vector<std::string>{"early"});
    run(client_.send("later"));
    run(server_.connect());
    EXPECT_EQ(drain(server_.receive(), 1, false).messages, std::vector<std::string>{"later"});
}

TEST_F(InMemoryTransportTest, ANewStreamReplacesAndEndsTheOldOne) {
    run(client_.connect());
    run(server_.connect());
    auto first = server_.receive();
    auto second = server_.receive();
    run(client_.send("m"));
    EXPECT_TRUE(drain(first, 0, true).messages.empty());
    EXPECT_EQ(drain(second, 1, false).messages, std::vector<std::string>{"m"});
}

TEST_F(InMemoryTransportTest, DisconnectEndsOwnStreamCleanlyAndThePeersWithConnectionClosed) {
    run(client_.connect());
    run(server_.connect());
    auto clientStream = client_.receive();
    auto serverStream = server_.receive();
    run(client_.disconnect());
    EXPECT_EQ(drain(clientStream, 0, true).end, "");
    EXPECT_EQ(drain(serverStream, 0, true).end, "Connection closed");
    EXPECT_EQ(failureOf(server_.send("x")), "Internal error: Transport not connected");
    run(server_.connect());
    run(client_.connect());
    run(server_.send("again"));
    EXPECT_EQ(drain(client_.receive(), 1, false).messages, std::vector<std::string>{"again"});
}

TEST_F(InMemoryTransportTest, ADestroyedEndClosesThePeersStream) {
    run(client_.connect());
    run(server_.connect());
    auto clientStream = client_.receive();
    ends_.second.reset();
    EXPECT_EQ(drain(clientStream, 0, true).end, "Connection closed");
    EXPECT_EQ(failureOf(client_.send("x")), "Internal error: Transport not connected");
}

}  // namespace
}  // namespace lumenary::mcp
