// Load driver: "tools/call" from our client to our server, over the
// in-memory pair and over a stdio pipe pair (call_load.hpp). The server runs
// on a thread of its own, the client on the main thread.
#include "call_load.hpp"
#include "mcp/server/stdio_transport.hpp"
#include "mcp/transports/in_memory_transport.hpp"
#include "pipe.hpp"
#include "server_thread.hpp"

using namespace lumenary::mcp;

int main() {
    {
        auto [clientEnd, serverEnd] = InMemoryTransport::createConnectedPair();
        call_load::ServerThread server([serverEnd](asio::any_io_executor) { return serverEnd; });
        call_load::measure("in-memory", [clientEnd](asio::any_io_executor) { return clientEnd; });
    }
    {
        Pipe toServer;
        Pipe fromServer;
        call_load::ServerThread server([&](asio::any_io_executor executor) {
            return StdioTransport::create(std::move(executor), toServer.readEnd(), fromServer.writeEnd());
        });
        call_load::measure("stdio", [&](asio::any_io_executor executor) {
            return StdioTransport::create(std::move(executor), fromServer.readEnd(), toServer.writeEnd());
        });
    }
    return 0;
}
