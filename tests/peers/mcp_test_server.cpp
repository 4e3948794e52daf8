// A small MCP server over standard input and output for tests that talk to a
// real process: an "echo" tool that answers with its arguments as JSON text,
// a "fail" tool that reports a tool-level error, and a "slow" tool that
// takes a while, and an "exit" tool that ends the process on the spot. Options: --strict (refuse requests before
// "initialize"),
// --log LEVEL (log to standard error from that level on).
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "logging/logging.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/mcp_server.hpp"

using namespace lumenary;
using namespace lumenary::mcp;

namespace {

Tool makeTool(std::string name, std::string description) {
    return Tool{std::move(name), std::move(description), Value::object({{"type", "object"}}), {}};
}

asio::awaitable<void> serve(std::shared_ptr<Server> server, std::shared_ptr<StdioTransport> transport) {
    co_await server->start(transport);
    co_await server->waitForCompletion();
    co_await server->stop();
}

}  // namespace

int main(int argc, char** argv) {
    bool strict = false;
    std::optional<logging::Logger> logger;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--strict") == 0) {
            strict = true;
        } else if (std::strcmp(argv[index], "--log") == 0 && index + 1 < argc) {
            logging::Logger streamLogger("mcp.transport.stdio",
                                         logging::StreamLogHandler::standardError("mcp.transport.stdio"));
            streamLogger.setLogLevel(logging::logLevelFromText(argv[++index]).value_or(logging::LogLevel::trace));
            logger = streamLogger;
        }
    }

    asio::io_context context;
    auto server = Server::create(
        context.get_executor(), "test-server", "1.0.0", std::nullopt,
        ServerCapabilities{.tools = ServerCapabilities::Tools{true}},
        strict ? ServerConfiguration::strictConfiguration() : ServerConfiguration::defaultConfiguration());

    server->registerMethodHandler<ListTools>([](ListTools::Parameters) -> asio::awaitable<ListTools::Result> {
        co_return ListTools::Result{{makeTool("echo", "Answers with its arguments"), makeTool("fail", "Always fails"),
                                     makeTool("slow", "Takes 200 ms")}};
    });
    server->registerMethodHandler<CallTool>(
        [executor = context.get_executor()](CallTool::Parameters parameters) -> asio::awaitable<CallTool::Result> {
            const Value arguments =
                parameters.arguments ? Value(Value::Object(parameters.arguments->begin(), parameters.arguments->end()))
                                     : Value(Value::Object{});
            if (parameters.name == "echo") {
                co_return CallTool::Result{{Tool::Content::text(writeJSON(arguments))}};
            }
            if (parameters.name == "slow") {
                asio::steady_timer timer(executor, std::chrono::milliseconds(200));
                co_await timer.async_wait(asio::use_awaitable);
                co_return CallTool::Result{{Tool::Content::text("done")}};
            }
            if (parameters.name == "exit") {
                // Ends the process in the middle of serving, with no disconnect.
                std::exit(0);
            }
            if (parameters.name == "fail") {
                co_return CallTool::Result{{Tool::Content::text("Error: it failed")}, true};
            }
            throw MCPError::invalidParams("Unknown tool: " + parameters.name);
        });

    auto transport = StdioTransport::create(context.get_executor(), STDIN_FILENO, STDOUT_FILENO, logger);
    int status = 0;
    asio::co_spawn(context, serve(server, transport), [&](std::exception_ptr error) {
        if (error) {
            std::cerr << "mcp_test_server: " << mcp::localizedDescription(error) << "\n";
            status = 1;
        }
    });
    context.run();
    return status;
}
