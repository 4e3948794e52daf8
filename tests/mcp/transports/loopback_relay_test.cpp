// The relay the fault tests stand on: if it mangles bytes or fails to cut,
// every fault test above it proves nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "support/fake_http_endpoint.hpp"
#include "support/loopback_relay.hpp"
#include "support/raw_connection.hpp"

namespace lumenary::testing {
namespace {

using asio::ip::tcp;
constexpr auto withError = asio::experimental::as_tuple(asio::use_awaitable);

// Echoes every byte back and remembers the largest single read.
class EchoTarget {
public:
    EchoTarget() : acceptor_(context_, tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {
        asio::co_spawn(context_, accept(), asio::detached);
        thread_ = std::thread([this] { context_.run(); });
    }
    ~EchoTarget() {
        context_.stop();
        thread_.join();
    }

    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
    std::size_t largestRead() const { return largestRead_.load(); }

private:
    asio::awaitable<void> accept() {
        for (;;) {
            tcp::socket socket(context_);
            auto [error] = co_await acceptor_.async_accept(socket, withError);
            if (error) co_return;
            asio::co_spawn(context_, echo(std::move(socket)), asio::detached);
        }
    }

    asio::awaitable<void> echo(tcp::socket socket) {
        char buffer[4096];
        for (;;) {
            auto [error, count] = co_await socket.async_read_some(asio::buffer(buffer), withError);
            if (error) co_return;
            std::size_t seen = largestRead_.load();
            while (count > seen && !largestRead_.compare_exchange_weak(seen, count)) {
            }
            auto [writeError, written] = co_await asio::async_write(socket, asio::buffer(buffer, count), withError);
            if (writeError) co_return;
        }
    }

    asio::io_context context_;
    tcp::acceptor acceptor_;
    std::atomic<std::size_t> largestRead_{0};
    std::thread thread_;
};

TEST(LoopbackRelayTest, ForwardsBothWays) {
    EchoTarget target;
    LoopbackRelay relay(target.port());
    RawConnection connection(relay.port());
    connection.send("hello relay");
    EXPECT_TRUE(connection.readUntil("hello relay"));
    EXPECT_EQ(relay.connectionCount(), 1u);
}

TEST(LoopbackRelayTest, CutAllClosesOpenConnectionsAndKeepsAccepting) {
    EchoTarget target;
    LoopbackRelay relay(target.port());
    RawConnection first(relay.port());
    first.send("a");
    ASSERT_TRUE(first.readUntil("a"));

    relay.cutAll();

    EXPECT_TRUE(first.waitForClose());
    RawConnection second(relay.port());
    second.send("b");
    EXPECT_TRUE(second.readUntil("b"));
    EXPECT_EQ(relay.connectionCount(), 2u);
}

TEST(LoopbackRelayTest, TrickleWritesAtMostTheGivenBytesAtATime) {
    EchoTarget target;
    LoopbackRelay relay(target.port());
    relay.trickle(1, std::chrono::milliseconds(1));
    RawConnection connection(relay.port());
    const std::string text = "one byte at a time";
    connection.send(text);
    EXPECT_TRUE(connection.readUntil(text));
    EXPECT_EQ(target.largestRead(), 1u);
}

TEST(LoopbackRelayTest, StalledRelayForwardsWhatWaitedOnceUnstalled) {
    EchoTarget target;
    LoopbackRelay relay(target.port());
    RawConnection connection(relay.port());
    ASSERT_TRUE(relay.waitForConnectionCount(1));
    relay.stall(true);
    connection.send("held back");
    relay.stall(false);
    EXPECT_TRUE(connection.readUntil("held back"));
}

TEST(LoopbackRelayTest, RefusedTargetIsAcceptedAndClosed) {
    LoopbackRelay relay(unusedLoopbackPort());
    RawConnection connection(relay.port());
    ASSERT_TRUE(connection.isConnected());
    EXPECT_TRUE(connection.waitForClose());
    EXPECT_EQ(relay.connectionCount(), 1u);
}

}  // namespace
}  // namespace lumenary::testing
