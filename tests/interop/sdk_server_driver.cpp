// Drives an MCP server written with the public TypeScript MCP SDK with our
// client, over the server's standard input and output: handshake, tools,
// prompts, resources, strict checks, and the requests and notifications the
// server sends back while a call is under way.
//
//   sdk_server_driver NODE SCRIPT
//
// Exits 0 when every check holds; otherwise names each failed check on
// standard error and exits 1.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "interop/driver_checks.hpp"
#include "interop/stub_model.hpp"
#include "mcp/client/client.hpp"
#include "mcp/server/stdio_transport.hpp"
#include "support/child_process.hpp"

using namespace lumenary;
using namespace lumenary::mcp;
using namespace lumenary::interop;

namespace {

asio::awaitable<void> drive(std::shared_ptr<Client> client, std::shared_ptr<Transport> transport,
                            std::shared_ptr<int> listChanges) {
    co_await client->setCapabilities(ClientCapabilities{.sampling = ClientCapabilities::Sampling{}});
    const auto handshake = co_await client->connect(transport);
    checkEqual(handshake.serverInfo.name, "sdk-server", "server name");
    checkEqual(handshake.protocolVersion, "2025-03-26", "protocol version");
    checkEqual(handshake.instructions.value_or(""), "Try the add tool.", "instructions");

    const auto tools = co_await client->listTools();
    check(tools.tools.size() == 5, "five tools listed");

    const std::vector<std::pair<std::string, std::string>> calls = {
        {"add", "3"},
        {"ask_model", "stub-model: echo What is 2+2?"},
        {"ping_client", "pong"},
        {"unknown_request", "refused with -32601"},
        {"announce", "announced"},
    };
    for (const auto& [name, expected] : calls) {
        std::map<std::string, Value> arguments{{"a", 1}, {"b", 2}, {"question", "What is 2+2?"}};
        auto result = co_await client->callTool(name, std::move(arguments));
        checkEqual(firstText(result), expected, "tools/call " + name);
    }
    check(*listChanges == 1, "one tools/list_changed notification");
    auto missing = co_await client->callTool("missing");
    check(missing.isError == true, "an unknown tool answers with the error flag");

    std::map<std::string, Value> who{{"who", "Ada"}};
    const auto prompt = co_await client->getPrompt("greet", std::move(who));
    check(prompt.messages.size() == 1 && prompt.messages[0] == Prompt::Message::user("Hello, Ada"), "prompts/get");
    const auto resources = co_await client->listResources();
    check(resources.resources.size() == 1 && resources.resources[0].uri == "memo://notes/today", "resources/list");
    const auto read = co_await client->readResource("memo://notes/today");
    check(read.contents.size() == 1 && read.contents[0].text == "Buy milk.", "resources/read");

    std::string refusal;
    try {
        co_await client->subscribeToResource("memo://notes/today");
    } catch (const MCPError& error) {
        refusal = error.what();
    }
    checkEqual(refusal, "Method not found: Resource subscription is not supported by the server",
               "strict check of resources/subscribe");

    co_await client->ping();
    co_await client->disconnect();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: sdk_server_driver NODE SCRIPT\n");
        return 2;
    }
    lumenary::testing::ChildProcess server({argv[1], argv[2]});
    asio::io_context io;
    auto transport = StdioTransport::create(io.get_executor(), server.outputDescriptor(), server.inputDescriptor());
    auto client =
        Client::create(io.get_executor(), "lumenary-interop", "1.0", ClientConfiguration::strictConfiguration());
    auto listChanges = std::make_shared<int>(0);
    client->withSamplingHandler(answerAsModel)
        .onNotification<ToolListChangedNotification>(
            [listChanges](Message<ToolListChangedNotification>) -> asio::awaitable<void> {
                ++*listChanges;
                co_return;
            });

    bool finished = false;
    asio::co_spawn(io, drive(client, transport, listChanges), [&](std::exception_ptr error) {
        finished = true;
        if (error) {
            std::fprintf(stderr, "sdk_server_driver: %s\n", localizedDescription(error).c_str());
            ++failures;
        }
    });
    io.run_for(std::chrono::seconds(60));
    if (!finished) {
        std::fprintf(stderr, "sdk_server_driver: the SDK server did not answer within 60 s\n");
        return 1;
    }
    if (failures == 0) {
        std::printf("interop: our client drove the SDK server: handshake, tools, sampling, ping, prompts, resources\n");
    }
    return failures == 0 ? 0 : 1;
}
