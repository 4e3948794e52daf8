// A small Streamable-HTTP MCP server for tests that talk to a real process:
// the HTTP endpoint on a loopback port with an "echo" tool that answers with
// its arguments as JSON text. It prints the port it listens on as one line on
// standard output, tells every session that the tool list changed on SIGUSR1,
// and serves until SIGINT or SIGTERM.
// Options: --port N (default 0: any free port), --quiet (no console lines),
// --threads N (endpoint threads, default 1).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <asio/use_awaitable.hpp>

#include "app/http/endpoint_threads.hpp"
#include "app/http/mcp_http_server.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/tool_methods.hpp"

using namespace lumenary;
using namespace lumenary::mcp;

namespace {

asio::awaitable<std::shared_ptr<Server>> makeEchoServer(asio::any_io_executor executor) {
    auto server = Server::create(std::move(executor), "http_test_server", "1.0.0", std::nullopt,
                                 ServerCapabilities{.tools = ServerCapabilities::Tools{.listChanged = true}},
                                 ServerConfiguration::defaultConfiguration());
    server->registerMethodHandler<ListTools>([](ListTools::Parameters) -> asio::awaitable<ListTools::Result> {
        co_return ListTools::Result{
            {Tool{"echo", "Answers with its arguments", Value::object({{"type", "object"}}), {}}}};
    });
    server->registerMethodHandler<CallTool>([](CallTool::Parameters parameters) -> asio::awaitable<CallTool::Result> {
        if (parameters.name != "echo") {
            throw MCPError::invalidParams("Unknown tool: " + parameters.name);
        }
        const Value arguments = parameters.arguments
                                    ? Value(Value::Object(parameters.arguments->begin(), parameters.arguments->end()))
                                    : Value(Value::Object{});
        co_return CallTool::Result{{Tool::Content::text(writeJSON(arguments))}};
    });
    co_return server;
}

asio::awaitable<void> serve(std::shared_ptr<http::MCPHTTPServer> server, std::uint16_t port) {
    const auto bound = co_await server->start(port);
    std::cout << bound << std::endl;
    asio::signal_set signals(co_await asio::this_coro::executor, SIGINT, SIGTERM, SIGUSR1);
    for (;;) {
        const int signal = co_await signals.async_wait(asio::use_awaitable);
        if (signal != SIGUSR1) {
            break;
        }
        co_await server->notifyToolListChanged();
    }
    co_await server->stop();
}

}  // namespace

int main(int argc, char** argv) {
    std::uint16_t port = 0;
    int threads = 1;
    bool quiet = false;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--port") == 0 && index + 1 < argc) {
            port = static_cast<std::uint16_t>(std::atoi(argv[++index]));
        } else if (std::strcmp(argv[index], "--threads") == 0 && index + 1 < argc) {
            threads = std::max(1, std::atoi(argv[++index]));
        } else if (std::strcmp(argv[index], "--quiet") == 0) {
            quiet = true;
        }
    }

    http::EndpointThreads endpointThreads(static_cast<std::size_t>(threads));
    http::MCPHTTPServer::Options options;
    if (quiet) {
        options.console = logging::Console();
    }
    auto server = http::MCPHTTPServer::create(endpointThreads.executors(), makeEchoServer, options);
    std::promise<int> status;
    asio::co_spawn(endpointThreads.executors().front(), serve(server, port), [&status](std::exception_ptr error) {
        if (error) {
            std::cerr << "http_test_server: " << mcp::localizedDescription(error) << "\n";
        }
        status.set_value(error ? 1 : 0);
    });
    const int result = status.get_future().get();
    endpointThreads.stop();
    return result;
}
