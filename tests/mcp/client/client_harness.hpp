#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <memory>
#include <string>

#include <asio/io_context.hpp>

#include "async/context_runner.hpp"
#include "mcp/client/client.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/server.hpp"
#include "mcp/transports/in_memory_transport.hpp"

// Our client against our server over a connected in-memory pair, both on an
// io_context that the test's own thread runs.
namespace lumenary::mcp::testing {

inline ServerCapabilities everyGroup() {
    return ServerCapabilities{.prompts = ServerCapabilities::Prompts{},
                              .resources = ServerCapabilities::Resources{.subscribe = true},
                              .tools = ServerCapabilities::Tools{.listChanged = true}};
}

// The text a tool result carries in its first content item.
inline std::string firstText(const CallTool::Result& result) {
    const auto* text = result.content.empty() ? nullptr : std::get_if<Tool::Content::Text>(&result.content[0].value);
    return text ? text->text : std::string();
}

// The description of the error `operation` fails with; empty when it succeeds.
template <typename Operation>
std::string failureOf(Operation&& operation) {
    try {
        operation();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

class ClientHarness {
public:
    explicit ClientHarness(ServerCapabilities capabilities = everyGroup(),
                           ClientConfiguration configuration = ClientConfiguration::defaultConfiguration())
        : ends_(InMemoryTransport::createConnectedPair()),
          server_(Server::create(io_.get_executor(), "harness-server", "2.0.0", "Use the echo tool.",
                                 std::move(capabilities), ServerConfiguration::defaultConfiguration())),
          client_(Client::create(io_.get_executor(), "harness-client", "0.1.0", configuration)) {
        registerServerHandlers();
        complete(server_->start(ends_.second));
    }

    ClientHarness(const ClientHarness&) = delete;
    ClientHarness& operator=(const ClientHarness&) = delete;

    ~ClientHarness() {
        try {
            complete(client_->disconnect());
            complete(server_->stop());
            async::test::runReady(io_);
        } catch (...) {
            ADD_FAILURE() << "the harness did not wind down: " << localizedDescription(std::current_exception());
        }
    }

    Client& client() { return *client_; }
    Server& server() { return *server_; }
    InMemoryTransport& clientEnd() { return *ends_.first; }
    asio::io_context& io() { return io_; }

    Initialize::Result connect() { return complete(client_->connect(ends_.first)); }

    template <typename T>
    T complete(asio::awaitable<T> operation) {
        return async::test::runToEnd(io_, std::move(operation));
    }

private:
    void registerServerHandlers() {
        server_->registerMethodHandler<ListTools>([](ListTools::Parameters) -> asio::awaitable<ListTools::Result> {
            co_return ListTools::Result{{Tool{"echo", "Answers with its arguments", Value::object({}), {}}}, "page-2"};
        });
        server_->registerMethodHandler<CallTool>([](CallTool::Parameters call) -> asio::awaitable<CallTool::Result> {
            if (call.name == "fail") {
                co_return CallTool::Result{{Tool::Content::text("Error: it failed")}, true};
            }
            if (call.name != "echo") {
                throw MCPError::invalidParams("Unknown tool: " + call.name);
            }
            Value::Object arguments;
            if (call.arguments) arguments.insert(call.arguments->begin(), call.arguments->end());
            co_return CallTool::Result{{Tool::Content::text(writeJSON(Value(std::move(arguments))))}};
        });
        server_->registerMethodHandler<ListPrompts>(
            [](ListPrompts::Parameters) -> asio::awaitable<ListPrompts::Result> {
                co_return ListPrompts::Result{{Prompt{"greet", "Says hello"}}};
            });
        server_->registerMethodHandler<GetPrompt>([](GetPrompt::Parameters get) -> asio::awaitable<GetPrompt::Result> {
            const auto name = get.arguments ? get.arguments->at("name").description() : "nobody";
            co_return GetPrompt::Result{"A greeting", {Prompt::Message::user("Hello, " + name)}};
        });
        server_->registerMethodHandler<ListResources>(
            [](ListResources::Parameters) -> asio::awaitable<ListResources::Result> {
                co_return ListResources::Result{{Resource{"readme", "file:///readme.txt"}}};
            });
        server_->registerMethodHandler<ReadResource>(
            [](ReadResource::Parameters read) -> asio::awaitable<ReadResource::Result> {
                co_return ReadResource::Result{{Resource::Content::fromText("Read me", read.uri, "text/plain")}};
            });
        server_->registerMethodHandler<ListResourceTemplates>(
            [](ListResourceTemplates::Parameters) -> asio::awaitable<ListResourceTemplates::Result> {
                co_return ListResourceTemplates::Result{{Resource::Template{"file:///{name}", "files"}}};
            });
        server_->registerMethodHandler<ResourceSubscribe>(
            [](ResourceSubscribe::Parameters) -> asio::awaitable<Empty> { co_return Empty{}; });
    }

    asio::io_context io_;
    InMemoryTransport::Pair ends_;
    std::shared_ptr<Server> server_;
    std::shared_ptr<Client> client_;
};

}  // namespace lumenary::mcp::testing
