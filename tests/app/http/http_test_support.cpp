#include "http_test_support.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "async/sleep_for.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/tool_methods.hpp"

namespace lumenary::http::test {

MCPHTTPServer::Options ServerHarness::quietOptions() {
    MCPHTTPServer::Options options;
    options.console = logging::Console();
    return options;
}

ServerHarness::ServerHarness(MCPHTTPServer::Options options, int threads, std::chrono::milliseconds setupDelay)
    : threads_(static_cast<std::size_t>(threads)) {
    auto count = setupCount_;
    auto fail = failSetups_;
    auto waiting = waitingCalls_;
    auto setup = [count, fail, waiting, setupDelay](asio::any_io_executor executor) -> asio::awaitable<std::shared_ptr<mcp::Server>> {
        if (fail->load()) {
            throw std::runtime_error("setup \"failed\"");
        }
        ++*count;
        auto server = mcp::Server::create(std::move(executor), "Quillbright", "1.0.0", std::nullopt,
                                          mcp::ServerCapabilities{.tools = mcp::ServerCapabilities::Tools{true}},
                                          mcp::ServerConfiguration::defaultConfiguration());
        server->registerMethodHandler<mcp::CallTool>(
            [waiting](mcp::CallTool::Parameters parameters) -> asio::awaitable<mcp::CallTool::Result> {
                if (parameters.name == "wait") {
                    ++*waiting;
                    co_await async::sleepFor(std::chrono::hours(1));
                }
                const auto given = parameters.arguments.value_or(std::map<std::string, mcp::Value>{});
                const mcp::Value arguments(mcp::Value::Object(given.begin(), given.end()));
                co_return mcp::CallTool::Result{{mcp::Tool::Content::text(mcp::writeJSON(arguments))}};
            });
        if (setupDelay.count() > 0) {
            asio::steady_timer timer(co_await asio::this_coro::executor, setupDelay);
            co_await timer.async_wait(asio::use_awaitable);
        }
        co_return server;
    };
    server_ = MCPHTTPServer::create(threads_.executors(), setup, std::move(options));
    port_ = run(server_->start(0));
}

ServerHarness::~ServerHarness() {
    try {
        run(server_->stop());
    } catch (...) {
    }
    threads_.stop();
}

Response ServerHarness::exchange(std::string_view request) {
    RawConnection connection(port_);
    connection.send(request);
    return parseResponse(connection.readToEnd());
}

}  // namespace lumenary::http::test
