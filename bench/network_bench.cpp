// Load driver: "tools/call" from our client to our server over the network
// transport on a loopback TCP connection, with and without the peer's
// heartbeats every 10 ms, beside the stdio pipe pair for reference
// (call_load.hpp). The server runs on a thread of its own, the client on the
// main thread.
#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "call_load.hpp"
#include "mcp/server/stdio_transport.hpp"
#include "mcp/transports/network_transport.hpp"
#include "mcp/transports/tcp_network_connection.hpp"
#include "peers/network_test_peer.hpp"
#include "pipe.hpp"
#include "server_thread.hpp"

using namespace lumenary::mcp;

namespace {

call_load::Figures measureNetwork(const char* name, std::chrono::milliseconds peerHeartbeats) {
    testing::NetworkTestPeer peer(testing::NetworkTestPeer::Options{.heartbeatInterval = peerHeartbeats});
    return call_load::measure(name, [&](asio::any_io_executor executor) -> std::shared_ptr<Transport> {
        return NetworkTransport::create(std::move(executor), TCPNetworkConnection::create("127.0.0.1", peer.port()));
    });
}

call_load::Figures measurePipe() {
    Pipe toServer;
    Pipe fromServer;
    call_load::ServerThread server([&](asio::any_io_executor executor) {
        return StdioTransport::create(std::move(executor), toServer.readEnd(), fromServer.writeEnd());
    });
    return call_load::measure("stdio pipe pair", [&](asio::any_io_executor executor) {
        return StdioTransport::create(std::move(executor), fromServer.readEnd(), toServer.writeEnd());
    });
}

// The median of each figure over the rounds: the machine's noise is large
// against runs this short.
call_load::Figures medianOf(std::vector<call_load::Figures> rounds) {
    const auto median = [&](double call_load::Figures::*figure) {
        std::vector<double> values;
        for (const auto& round : rounds) values.push_back(round.*figure);
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    return {median(&call_load::Figures::lockStepCallsPerSecond), median(&call_load::Figures::medianMicroseconds),
            median(&call_load::Figures::p99Microseconds), median(&call_load::Figures::concurrentCallsPerSecond)};
}

}  // namespace

int main() {
    constexpr int rounds = 3;
    std::vector<call_load::Figures> pipeRounds;
    std::vector<call_load::Figures> quietRounds;
    std::vector<call_load::Figures> beatingRounds;
    for (int round = 0; round < rounds; ++round) {
        pipeRounds.push_back(measurePipe());
        quietRounds.push_back(measureNetwork("network", std::chrono::milliseconds(0)));
        beatingRounds.push_back(measureNetwork("network, heartbeats", std::chrono::milliseconds(10)));
    }
    const auto pipe = medianOf(pipeRounds);
    const auto quiet = medianOf(quietRounds);
    const auto beating = medianOf(beatingRounds);

    std::printf("\nmedians of %d rounds\n", rounds);
    for (const auto& [name, figures] : {std::pair{"stdio pipe pair", pipe}, std::pair{"network", quiet},
                                        std::pair{"network, heartbeats", beating}}) {
        std::printf("%-22s lock-step %8.0f calls/s, median %6.1f us; 64 in flight %8.0f calls/s\n", name,
                    figures.lockStepCallsPerSecond, figures.medianMicroseconds, figures.concurrentCallsPerSecond);
    }
    std::printf("network / pipe: lock-step median %.2fx (target at most 1.5x), 64 in flight %.2fx (target at least "
                "0.7x)\n",
                quiet.medianMicroseconds / pipe.medianMicroseconds,
                quiet.concurrentCallsPerSecond / pipe.concurrentCallsPerSecond);
    std::printf("heartbeats every 10 ms cost %.1f%% of lock-step and %.1f%% of 64-in-flight throughput (target under "
                "5%%)\n",
                100.0 * (1.0 - beating.lockStepCallsPerSecond / quiet.lockStepCallsPerSecond),
                100.0 * (1.0 - beating.concurrentCallsPerSecond / quiet.concurrentCallsPerSecond));
    return 0;
}
