#pragma once

#include <memory>
#include <thread>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include "call_load.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/server.hpp"

namespace call_load {

// A server with one "echo" tool, run on a thread of its own until stopped.
class ServerThread {
public:
    explicit ServerThread(const TransportMaker& makeTransport)
        : work_(asio::make_work_guard(io_)),
          server_(lumenary::mcp::Server::create(io_.get_executor(), "bench", "1.0.0", std::nullopt,
                                                Capabilities{.tools = Capabilities::Tools{}},
                                                lumenary::mcp::ServerConfiguration::defaultConfiguration())) {
        using lumenary::mcp::CallTool;
        server_->registerMethodHandler<CallTool>([](CallTool::Parameters call) -> asio::awaitable<CallTool::Result> {
            lumenary::mcp::Value::Object arguments;
            if (call.arguments) arguments.insert(call.arguments->begin(), call.arguments->end());
            CallTool::Result result;
            result.content.push_back(lumenary::mcp::Tool::Content::text(
                lumenary::mcp::writeJSON(lumenary::mcp::Value(std::move(arguments)))));
            co_return result;
        });
        asio::co_spawn(io_, server_->start(makeTransport(io_.get_executor())), asio::detached);
        thread_ = std::thread([this] { io_.run(); });
    }
    ~ServerThread() {
        asio::co_spawn(io_, server_->stop(), asio::detached);
        work_.reset();
        thread_.join();
    }

private:
    using Capabilities = lumenary::mcp::ServerCapabilities;

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::shared_ptr<lumenary::mcp::Server> server_;
    std::thread thread_;
};

}  // namespace call_load
