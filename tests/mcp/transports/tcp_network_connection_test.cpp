#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "async/context_runner.hpp"
#include "mcp/transports/tcp_network_connection.hpp"
#include "peers/network_test_peer.hpp"

namespace lumenary::mcp::testing {
namespace {

using State = NetworkConnectionState;

asio::awaitable<std::string> pingOver(std::shared_ptr<TCPNetworkConnection> connection) {
    const std::string request = R"({"jsonrpc":"2.0","id":1,"method":"ping"})"
                                "\n";
    co_await connection->send(asio::buffer(request));
    std::string received;
    char buffer[256];
    while (received.find('\n') == std::string::npos) {
        const auto count = co_await connection->receive(asio::buffer(buffer));
        received.append(buffer, count);
    }
    co_return received;
}

TEST(TCPNetworkConnectionTest, ACancelledConnectionStartsAgainOnAFreshSocket) {
    NetworkTestPeer peer;
    asio::io_context io;
    auto connection = TCPNetworkConnection::create("127.0.0.1", peer.port());
    std::vector<State> reports;
    const auto record = [&reports](NetworkConnectionStateReport report) { reports.push_back(report.state); };
    const auto count = [&reports](State state) { return std::count(reports.begin(), reports.end(), state); };

    connection->start(io.get_executor(), record);
    ASSERT_TRUE(async::test::runUntil(io, [&] { return count(State::ready) == 1; }));
    connection->cancel();
    ASSERT_TRUE(async::test::runUntil(io, [&] { return count(State::cancelled) == 1; }));
    connection->start(io.get_executor(), record);
    ASSERT_TRUE(async::test::runUntil(io, [&] { return count(State::ready) == 2; }));

    EXPECT_EQ(reports, (std::vector<State>{State::preparing, State::ready, State::cancelled, State::preparing,
                                           State::ready}));
    EXPECT_EQ(async::test::runToEnd(io, pingOver(connection)), R"({"id":1,"jsonrpc":"2.0","result":{}})"
                                                                "\n");
    EXPECT_EQ(peer.connectionCount(), 2u);
    connection->cancel();
}

}  // namespace
}  // namespace lumenary::mcp::testing
