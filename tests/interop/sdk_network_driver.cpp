// Drives an MCP server written with the public TypeScript MCP SDK behind a
// node TCP listener with our client over the network transport, heartbeats
// off since that peer knows nothing of them: handshake, tools/list, a call,
// and a ping the server sends while a call is under way.
//
//   sdk_network_driver NODE SCRIPT
//
// Exits 0 when every check holds; otherwise names each failed check on
// standard error and exits 1.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "interop/driver_checks.hpp"
#include "mcp/client/client.hpp"
#include "mcp/transports/network_transport.hpp"
#include "mcp/transports/tcp_network_connection.hpp"
#include "support/child_process.hpp"

using namespace lumenary;
using namespace lumenary::mcp;
using namespace lumenary::interop;

namespace {

asio::awaitable<void> drive(std::shared_ptr<Client> client, std::shared_ptr<Transport> transport) {
    const auto handshake = co_await client->connect(transport);
    check(handshake.serverInfo.name == "sdk-tcp-server", "server name");
    check(handshake.protocolVersion == "2025-03-26", "protocol version");

    const auto tools = co_await client->listTools();
    check(tools.tools.size() == 2, "two tools listed");

    std::map<std::string, Value> operands{{"a", 20}, {"b", 22}};
    const auto sum = firstText(co_await client->callTool("add", std::move(operands)));
    check(sum == "42", "tools/call add (got \"" + sum + "\")");

    const auto pong = firstText(co_await client->callTool("ping_client"));
    check(pong == "pong", "the server's ping answered during a call (got \"" + pong + "\")");

    co_await client->disconnect();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: sdk_network_driver NODE SCRIPT\n");
        return 2;
    }
    lumenary::testing::ChildProcess node({argv[1], argv[2]});
    const auto listening = node.readLine(std::chrono::seconds(30));
    if (!listening || listening->rfind("listening ", 0) != 0) {
        std::fprintf(stderr, "sdk_network_driver: the SDK server did not start listening\n");
        return 1;
    }
    const auto port = static_cast<std::uint16_t>(std::stoi(listening->substr(10)));

    asio::io_context io;
    auto transport = NetworkTransport::create(io.get_executor(), TCPNetworkConnection::create("127.0.0.1", port),
                                              std::nullopt, NetworkTransport::HeartbeatConfiguration::disabled,
                                              NetworkTransport::ReconnectionConfiguration::disabled);
    auto client =
        Client::create(io.get_executor(), "lumenary-interop", "1.0", ClientConfiguration::strictConfiguration());

    bool finished = false;
    asio::co_spawn(io, drive(client, transport), [&](std::exception_ptr error) {
        finished = true;
        if (error) {
            std::fprintf(stderr, "sdk_network_driver: %s\n", localizedDescription(error).c_str());
            ++failures;
        }
    });
    io.run_for(std::chrono::seconds(60));
    node.closeInput();
    if (!finished) {
        std::fprintf(stderr, "sdk_network_driver: the SDK server did not answer within 60 s\n");
        return 1;
    }
    if (failures == 0) {
        std::printf("interop: our client drove the SDK server over TCP: handshake, tools/list, a call, its ping\n");
    }
    return failures == 0 ? 0 : 1;
}
