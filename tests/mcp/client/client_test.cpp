// Our client driving our server over the in-memory pair.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mcp/client/client_harness.hpp"

namespace lumenary::mcp {
namespace {

using testing::ClientHarness;
using testing::failureOf;
using testing::firstText;

TEST(Client, HandshakeRecordsWhatEachSideAnnounced) {
    ClientHarness harness;
    harness.complete(harness.client().setCapabilities(
        ClientCapabilities{.sampling = ClientCapabilities::Sampling{}, .roots = ClientCapabilities::Roots{true}}));

    const auto result = harness.connect();
    EXPECT_EQ(result.protocolVersion, "2025-03-26");
    EXPECT_EQ(result.serverInfo, (ServerInfo{"harness-server", "2.0.0"}));
    EXPECT_EQ(harness.complete(harness.client().serverVersion()), "2025-03-26");
    EXPECT_EQ(harness.complete(harness.client().instructions()), "Use the echo tool.");
    EXPECT_EQ(harness.complete(harness.client().serverCapabilities()), testing::everyGroup());

    EXPECT_TRUE(harness.complete(harness.server().isInitialized()));
    EXPECT_EQ(harness.complete(harness.server().clientInfo()), (ClientInfo{"harness-client", "0.1.0"}));
    EXPECT_EQ(harness.complete(harness.server().clientCapabilities())->roots, ClientCapabilities::Roots{true});
}

TEST(Client, TypedRequestsGetTheServersAnswers) {
    ClientHarness harness;
    harness.connect();
    auto& client = harness.client();

    harness.complete(client.ping());
    const auto tools = harness.complete(client.listTools());
    ASSERT_EQ(tools.tools.size(), 1U);
    EXPECT_EQ(tools.tools[0].name, "echo");
    EXPECT_EQ(tools.nextCursor, "page-2");
    EXPECT_EQ(firstText(harness.complete(client.callTool("echo", {{{"path", "a/b"}, {"count", 2}}}))),
              R"({"count":2,"path":"a/b"})");
    EXPECT_EQ(harness.complete(client.callTool("fail")).isError, true);
    EXPECT_EQ(failureOf([&] { harness.complete(client.callTool("missing")); }),
              "Invalid params: Unknown tool: missing");

    EXPECT_EQ(harness.complete(client.listPrompts()).prompts.at(0).name, "greet");
    const auto prompt = harness.complete(client.getPrompt("greet", {{{"name", "Ada"}}}));
    EXPECT_EQ(prompt.description, "A greeting");
    EXPECT_EQ(prompt.messages.at(0), Prompt::Message::user("Hello, Ada"));

    EXPECT_EQ(harness.complete(client.listResources()).resources.at(0).uri, "file:///readme.txt");
    EXPECT_EQ(harness.complete(client.readResource("file:///readme.txt")).contents.at(0).text, "Read me");
    EXPECT_EQ(harness.complete(client.listResourceTemplates()).templates.at(0).uriTemplate, "file:///{name}");
    harness.complete(client.subscribeToResource("file:///readme.txt"));
}

TEST(Client, BatchResultsReachEachRequestAndOneErrorFailsOnlyItsOwn) {
    ClientHarness harness;
    harness.connect();
    std::vector<PendingRequest<CallTool::Result>> calls;
    std::optional<PendingRequest<ListTools::Result>> listing;
    harness.complete(harness.client().withBatch([&](Client::Batch& batch) -> asio::awaitable<void> {
        for (const char* name : {"echo", "missing", "fail"}) {
            CallTool::Parameters call{name, std::map<std::string, Value>{{"n", name}}};
            Request<CallTool> request(ID::random(), std::move(call));
            auto pending = co_await batch.addRequest(std::move(request));
            calls.push_back(std::move(pending));
        }
        Request<ListTools> request(ID::random(), {});
        listing = co_await batch.addRequest(std::move(request));
    }));

    EXPECT_EQ(firstText(harness.complete(calls[0].wait())), R"({"n":"echo"})");
    EXPECT_EQ(failureOf([&] { harness.complete(calls[1].wait()); }), "Invalid params: Unknown tool: missing");
    EXPECT_EQ(harness.complete(calls[2].wait()).isError, true);
    EXPECT_EQ(harness.complete(listing->wait()).tools.size(), 1U);
}

TEST(Client, NotificationHandlersRunInOrderPastAFailingOne) {
    std::vector<std::string> ran;
    ClientHarness harness;
    harness.client()
        .onNotification<ToolListChangedNotification>(
            [&](Message<ToolListChangedNotification>) -> asio::awaitable<void> {
                ran.push_back("first");
                throw std::runtime_error("handler failed");
                co_return;
            })
        .onNotification<ToolListChangedNotification>(
            [&](Message<ToolListChangedNotification>) -> asio::awaitable<void> {
                ran.push_back("second");
                co_return;
            });
    harness.connect();

    harness.complete(harness.server().sendNotification(Message<ToolListChangedNotification>()));
    EXPECT_TRUE(async::test::runUntil(harness.io(), [&] { return ran.size() == 2; }));
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
}

TEST(Client, AServerThatGoesAwayEndsTheConnection) {
    ClientHarness harness;
    harness.connect();
    harness.complete(harness.server().stop());
    async::test::runReady(harness.io());
    EXPECT_EQ(failureOf([&] { harness.complete(harness.client().ping()); }), "Connection closed");
    harness.complete(harness.client().disconnect());
    EXPECT_EQ(failureOf([&] { harness.complete(harness.client().ping()); }),
              "Internal error: Client connection not initialized");
}

struct StrictCase {
    const char* name;
    ServerCapabilities announced;
    std::string listTools;  // the failure, "" when sent
    std::string listResources;
    std::string subscribe;
};

class StrictClient : public ::testing::TestWithParam<StrictCase> {};

TEST_P(StrictClient, SendsOnlyWhatTheServerAnnounced) {
    ClientHarness harness(GetParam().announced, ClientConfiguration::strictConfiguration());
    harness.connect();
    auto& client = harness.client();
    harness.complete(client.ping());
    EXPECT_EQ(failureOf([&] { harness.complete(client.listTools()); }), GetParam().listTools);
    EXPECT_EQ(failureOf([&] { harness.complete(client.listResources()); }), GetParam().listResources);
    EXPECT_EQ(failureOf([&] { harness.complete(client.subscribeToResource("file:///readme.txt")); }),
              GetParam().subscribe);
}

INSTANTIATE_TEST_SUITE_P(
    , StrictClient,
    ::testing::Values(StrictCase{"Nothing",
                                 {},
                                 "Method not found: Tools is not supported by the server",
                                 "Method not found: Resources is not supported by the server",
                                 "Method not found: Resource subscription is not supported by the server"},
                      StrictCase{"EmptyGroups",
                                 {.resources = ServerCapabilities::Resources{}, .tools = ServerCapabilities::Tools{}},
                                 "",
                                 "",
                                 "Method not found: Resource subscription is not supported by the server"},
                      StrictCase{"SubscribeFalse",
                                 {.resources = ServerCapabilities::Resources{.subscribe = false}},
                                 "Method not found: Tools is not supported by the server",
                                 "",
                                 ""}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(UnconnectedStrictClient, RefusesTypedRequestsBeforeTheHandshakeButNotPing) {
    ClientHarness harness({}, ClientConfiguration::strictConfiguration());
    EXPECT_EQ(failureOf([&] { harness.complete(harness.client().listPrompts()); }),
              "Method not found: Server capabilities not initialized");
    EXPECT_EQ(failureOf([&] { harness.complete(harness.client().ping()); }),
              "Internal error: Client connection not initialized");
}

}  // namespace
}  // namespace lumenary::mcp
