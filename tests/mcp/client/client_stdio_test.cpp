// Our client driving the real server program over its standard input and
// output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mcp/client/client_harness.hpp"
#include "mcp/server/stdio_transport.hpp"
#include "support/child_process.hpp"

namespace lumenary::mcp {
namespace {

using testing::failureOf;
using testing::firstText;

class ClientOverStdio : public ::testing::Test {
protected:
    template <typename T>
    T complete(asio::awaitable<T> operation) {
        return async::test::runToEnd(io_, std::move(operation));
    }

    lumenary::testing::ChildProcess server_{{lumenary::testing::siblingProgram("mcp_test_server"), "--strict"}};
    asio::io_context io_;
    std::shared_ptr<StdioTransport> transport_ =
        StdioTransport::create(io_.get_executor(), server_.outputDescriptor(), server_.inputDescriptor());
    std::shared_ptr<Client> client_ =
        Client::create(io_.get_executor(), "stdio-client", "1.0", ClientConfiguration::strictConfiguration());
};

TEST_F(ClientOverStdio, HandshakeToolsAndBatches) {
    const auto result = complete(client_->connect(transport_));
    EXPECT_EQ(result.serverInfo, (ServerInfo{"test-server", "1.0.0"}));

    std::vector<std::string> names;
    for (const auto& tool : complete(client_->listTools()).tools) names.push_back(tool.name);
    EXPECT_EQ(names, (std::vector<std::string>{"echo", "fail", "slow"}));
    EXPECT_EQ(firstText(complete(client_->callTool("echo", {{{"path", "a/b"}}}))), R"({"path":"a/b"})");
    EXPECT_EQ(failureOf([&] { complete(client_->listPrompts()); }),
              "Method not found: Prompts is not supported by the server");

    std::vector<PendingRequest<CallTool::Result>> calls;
    complete(client_->withBatch([&](Client::Batch& batch) -> asio::awaitable<void> {
        for (const char* name : {"slow", "echo"}) {
            Request<CallTool> request(ID::random(), {name});
            auto pending = co_await batch.addRequest(std::move(request));
            calls.push_back(std::move(pending));
        }
    }));
    EXPECT_EQ(firstText(complete(calls[0].wait())), "done");
    EXPECT_EQ(firstText(complete(calls[1].wait())), "{}");
    complete(client_->disconnect());
}

TEST_F(ClientOverStdio, AServerThatExitsFailsTheWaitingCallAndLaterOnes) {
    complete(client_->connect(transport_));
    EXPECT_EQ(failureOf([&] { complete(client_->callTool("exit")); }), "Connection closed");
    EXPECT_EQ(failureOf([&] { complete(client_->ping()); }), "Connection closed");
    EXPECT_EQ(server_.waitForExit(), 0);
    complete(client_->disconnect());
}

}  // namespace
}  // namespace lumenary::mcp
