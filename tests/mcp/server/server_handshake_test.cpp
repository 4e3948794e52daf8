// The built-in "initialize" and "ping" handlers, and the strict rule that
// holds other messages back until "initialize" has succeeded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "mcp/core/handshake.hpp"
#include "mcp/server/server_harness.hpp"
#include "mcp/server/tool_methods.hpp"

namespace lumenary::mcp {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string initializeRequest(const std::string& id, const std::string& protocolVersion,
                              const std::string& clientName = "probe") {
    return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":"initialize","params":{"protocolVersion":")" +
           protocolVersion + R"(","capabilities":{"roots":{"listChanged":true}},"clientInfo":{"name":")" + clientName +
           R"(","version":"0.9"}}})";
}

// The reply to a successful "initialize" of the harness's server.
std::string initializeReply(const std::string& id, const std::string& protocolVersion,
                            const std::string& capabilities = R"({"tools":{"listChanged":true}})",
                            const std::string& instructions = "") {
    return R"({"id":)" + id + R"(,"jsonrpc":"2.0","result":{"capabilities":)" + capabilities + instructions +
           R"(,"protocolVersion":")" + protocolVersion +
           R"(","serverInfo":{"name":"lumenary-test","version":"1.2.3"}}})";
}

std::string invalidRequestReply(const std::string& id, const std::string& detail) {
    return R"({"error":{"code":-32600,"data":{"detail":")" + detail + R"("},"message":"Invalid Request: )" + detail +
           R"("},"id":)" + id + R"(,"jsonrpc":"2.0"})";
}

// A hook that records what it was given and fails while `failures` holds
// errors, taking one per call.
struct HookLog {
    std::vector<std::pair<ClientInfo, ClientCapabilities>> calls;
    std::vector<std::exception_ptr> failures;
};

Server::InitializeHook recordingHook(std::shared_ptr<HookLog> log) {
    return [log](ClientInfo info, ClientCapabilities capabilities) -> asio::awaitable<void> {
        log->calls.emplace_back(std::move(info), std::move(capabilities));
        if (!log->failures.empty()) {
            auto failure = log->failures.front();
            log->failures.erase(log->failures.begin());
            std::rethrow_exception(failure);
        }
        co_return;
    };
}

// -------------------------------------------------------------- initialize

TEST(ServerInitialize, NegotiatesTheProtocolVersion) {
    struct Case {
        std::string requested;
        std::string answered;
    };
    const std::vector<Case> cases = {
        {"2024-11-05", "2024-11-05"}, {"2025-03-26", "2025-03-26"}, {"1999-01-01", "2025-03-26"},
        {"2024-11-5", "2025-03-26"},  {"", "2025-03-26"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested);
        ServerHarness harness;
        harness.start();

        EXPECT_EQ(harness.replyTo(initializeRequest("1", c.requested)), initializeReply("1", c.answered));
        EXPECT_EQ(harness.complete(harness.server().protocolVersion()), c.answered);
    }
}

TEST(ServerInitialize, RecordsWhatTheClientAnnounced) {
    ServerHarness harness;
    harness.start();

    harness.replyTo(initializeRequest(R"("i")", "2024-11-05", "console"));

    EXPECT_TRUE(harness.complete(harness.server().isInitialized()));
    EXPECT_EQ(harness.complete(harness.server().clientInfo()), (ClientInfo{"console", "0.9"}));
    EXPECT_EQ(harness.complete(harness.server().clientCapabilities()),
              (ClientCapabilities{.roots = ClientCapabilities::Roots{.listChanged = true}}));
    EXPECT_EQ(harness.complete(harness.server().protocolVersion()), "2024-11-05");
}

TEST(ServerInitialize, AnnouncesInstructionsOnlyWhenTheServerHasThem) {
    struct Case {
        const char* name;
        std::optional<std::string> instructions;
        std::string member;
    };
    const std::vector<Case> cases = {
        {"none", std::nullopt, ""},
        {"some", "Call tools/list first.", R"(,"instructions":"Call tools/list first.")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerHarness harness(ServerConfiguration::defaultConfiguration(), c.instructions);
        harness.start();

        EXPECT_EQ(harness.replyTo(initializeRequest("1", "2025-03-26")),
                  initializeReply("1", "2025-03-26", R"({"tools":{"listChanged":true}})", c.member));
    }
}

TEST(ServerInitialize, AnnouncesTheServersCurrentCapabilities) {
    ServerHarness harness;
    harness.start();
    harness.complete(harness.server().setCapabilities(ServerCapabilities{
        .logging = ServerCapabilities::Logging{},
        .prompts = ServerCapabilities::Prompts{.listChanged = false},
        .tools = ServerCapabilities::Tools{},
    }));

    EXPECT_EQ(harness.replyTo(initializeRequest("1", "2025-03-26")),
              initializeReply("1", "2025-03-26", R"({"logging":{},"prompts":{"listChanged":false},"tools":{}})"));
}

TEST(ServerInitialize, ASecondInitializeIsRefusedAndChangesNothing) {
    auto hook = std::make_shared<HookLog>();
    ServerHarness harness;
    harness.start(recordingHook(hook));

    const auto replies = harness.repliesTo(
        {initializeRequest("1", "2024-11-05", "first"), initializeRequest("2", "2025-03-26", "second")});

    EXPECT_THAT(replies, ElementsAre(initializeReply("1", "2024-11-05"),
                                     invalidRequestReply("2", "Server is already initialized")));
    EXPECT_EQ(harness.complete(harness.server().clientInfo()), (ClientInfo{"first", "0.9"}));
    EXPECT_EQ(harness.complete(harness.server().protocolVersion()), "2024-11-05");
    EXPECT_EQ(hook->calls.size(), 1u);
}

TEST(ServerInitialize, TheHookGetsWhatTheClientAnnounced) {
    auto hook = std::make_shared<HookLog>();
    ServerHarness harness;
    harness.start(recordingHook(hook));

    harness.replyTo(initializeRequest("1", "2025-03-26", "console"));

    ASSERT_EQ(hook->calls.size(), 1u);
    EXPECT_EQ(hook->calls[0].first, (ClientInfo{"console", "0.9"}));
    EXPECT_EQ(hook->calls[0].second, (ClientCapabilities{.roots = ClientCapabilities::Roots{.listChanged = true}}));
}

TEST(ServerInitialize, AFailingHookRefusesTheRequestAndALaterInitializeRunsItAgain) {
    struct Case {
        const char* name;
        std::exception_ptr failure;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {"other error", std::make_exception_ptr(std::runtime_error("not yet")),
         R"({"error":{"code":-32603,"data":{"detail":"not yet"},"message":"Internal error: not yet"},)"
         R"("id":1,"jsonrpc":"2.0"})"},
        {"MCPError", std::make_exception_ptr(MCPError::invalidRequest("client refused")),
         invalidRequestReply("1", "client refused")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto hook = std::make_shared<HookLog>();
        hook->failures.push_back(c.failure);
        ServerHarness harness;
        harness.start(recordingHook(hook));

        EXPECT_EQ(harness.replyTo(initializeRequest("1", "2024-11-05", "early")), c.reply);
        EXPECT_FALSE(harness.complete(harness.server().isInitialized()));
        EXPECT_FALSE(harness.complete(harness.server().clientInfo()));
        EXPECT_FALSE(harness.complete(harness.server().protocolVersion()));

        EXPECT_EQ(harness.replyTo(initializeRequest("2", "2024-11-05", "later")), initializeReply("2", "2024-11-05"));
        EXPECT_EQ(hook->calls.size(), 2u);
        EXPECT_TRUE(harness.complete(harness.server().isInitialized()));
        EXPECT_EQ(harness.complete(harness.server().clientInfo()), (ClientInfo{"later", "0.9"}));
    }
}

TEST(ServerInitialize, ParamsThatDoNotReadAreRefusedBeforeTheHookRuns) {
    auto hook = std::make_shared<HookLog>();
    ServerHarness harness;
    harness.start(recordingHook(hook));

    EXPECT_EQ(harness.replyTo(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"clientInfo":{"name":1}}})"),
              R"({"error":{"code":-32603,"data":{"detail":"Invalid params field"},"message":"Internal error: )"
              R"(Invalid params field"},"id":1,"jsonrpc":"2.0"})");
    EXPECT_TRUE(hook->calls.empty());
    EXPECT_FALSE(harness.complete(harness.server().isInitialized()));
}

TEST(ServerInitialize, MissingParamsMembersTakeTheirDefaults) {
    ServerHarness harness;
    harness.start();

    EXPECT_EQ(harness.replyTo(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})"),
              initializeReply("1", "2025-03-26"));
    EXPECT_EQ(harness.complete(harness.server().clientInfo()), (ClientInfo{"unknown", "0.0.0"}));
}

// -------------------------------------------------------------------- ping

TEST(ServerPing, IsAnsweredWithAnEmptyResultUnderItsID) {
    struct Case {
        std::string request;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {R"({"jsonrpc":"2.0","id":1,"method":"ping"})", R"({"id":1,"jsonrpc":"2.0","result":{}})"},
        {R"({"jsonrpc":"2.0","id":"p/1","method":"ping","params":{}})", R"({"id":"p/1","jsonrpc":"2.0","result":{}})"},
        {R"({"method":"ping","id":0,"params":null,"jsonrpc":"2.0"})", R"({"id":0,"jsonrpc":"2.0","result":{}})"},
    };
    ServerHarness harness;
    harness.start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        EXPECT_EQ(harness.replyTo(c.request), c.reply);
    }
}

// ------------------------------------------------------------- strict mode

// Handlers that count their calls, for messages the strict rule may hold back.
struct StrictHandlers {
    std::shared_ptr<int> listCalls = std::make_shared<int>(0);
    std::shared_ptr<int> initializedCalls = std::make_shared<int>(0);
    std::shared_ptr<int> noteCalls = std::make_shared<int>(0);

    void registerOn(Server& server) const {
        server.registerMethodHandler<ListTools>(
            [calls = listCalls](ListTools::Parameters) -> asio::awaitable<ListTools::Result> {
                ++*calls;
                co_return ListTools::Result{};
            });
        server.registerNotificationHandler<InitializedNotification>(
            [calls = initializedCalls](Message<InitializedNotification>) -> asio::awaitable<void> {
                ++*calls;
                co_return;
            });
        server.registerNotificationHandler<NoteNotification>(
            [calls = noteCalls](Message<NoteNotification>) -> asio::awaitable<void> {
                ++*calls;
                co_return;
            });
    }
};

constexpr const char* toolsListRequest = R"({"jsonrpc":"2.0","id":3,"method":"tools/list"})";
constexpr const char* toolsListReply = R"({"id":3,"jsonrpc":"2.0","result":{"tools":[]}})";
constexpr const char* initializedNotification = R"({"jsonrpc":"2.0","method":"notifications/initialized"})";
constexpr const char* noteNotification = R"({"jsonrpc":"2.0","method":"test/note"})";

TEST(ServerStrictMode, BeforeInitializeOnlyTheHandshakeGetsThrough) {
    struct Case {
        std::string message;
        std::vector<std::string> replies;
        int listCalls;
        int initializedCalls;
        int noteCalls;
        std::size_t errorLines;
    };
    const std::vector<Case> cases = {
        {R"({"jsonrpc":"2.0","id":1,"method":"ping"})", {R"({"id":1,"jsonrpc":"2.0","result":{}})"}, 0, 0, 0, 0},
        {initializeRequest("2", "2025-03-26"), {initializeReply("2", "2025-03-26")}, 0, 0, 0, 0},
        {toolsListRequest, {invalidRequestReply("3", "Server is not initialized")}, 0, 0, 0, 1},
        {R"({"jsonrpc":"2.0","id":"u","method":"x"})",
         {invalidRequestReply(R"("u")", "Server is not initialized")},
         0,
         0,
         0,
         1},
        {initializedNotification, {}, 0, 1, 0, 0},
        {noteNotification, {}, 0, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ServerHarness harness(ServerConfiguration::strictConfiguration());
        const StrictHandlers handlers;
        handlers.registerOn(harness.server());
        harness.start();

        EXPECT_EQ(harness.repliesTo({c.message}), c.replies);
        EXPECT_EQ(*handlers.listCalls, c.listCalls);
        EXPECT_EQ(*handlers.initializedCalls, c.initializedCalls);
        EXPECT_EQ(*handlers.noteCalls, c.noteCalls);
        const auto logged = harness.transport().recordsWithMessage("Error processing message");
        ASSERT_EQ(logged.size(), c.errorLines);
        for (const auto& entry : logged) {
            EXPECT_EQ(entry.metadata, (logging::Metadata{{"error", "Invalid Request: Server is not initialized"}}));
        }
    }
}

TEST(ServerStrictMode, AfterInitializeEverythingGetsThrough) {
    ServerHarness harness(ServerConfiguration::strictConfiguration());
    const StrictHandlers handlers;
    handlers.registerOn(harness.server());
    harness.start();

    const auto replies = harness.repliesTo(
        {initializeRequest("1", "2025-03-26"), initializedNotification, toolsListRequest, noteNotification});

    EXPECT_THAT(replies, ElementsAre(initializeReply("1", "2025-03-26"), toolsListReply));
    EXPECT_EQ(*handlers.listCalls, 1);
    EXPECT_EQ(*handlers.initializedCalls, 1);
    EXPECT_EQ(*handlers.noteCalls, 1);
    EXPECT_EQ(harness.logCount("Error processing message"), 0u);
}

TEST(ServerStrictMode, AFailedInitializeLeavesTheServerClosed) {
    auto hook = std::make_shared<HookLog>();
    hook->failures.push_back(std::make_exception_ptr(std::runtime_error("not yet")));
    ServerHarness harness(ServerConfiguration::strictConfiguration());
    const StrictHandlers handlers;
    handlers.registerOn(harness.server());
    harness.start(recordingHook(hook));

    const auto replies = harness.repliesTo({initializeRequest("1", "2025-03-26"), toolsListRequest});

    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1], invalidRequestReply("3", "Server is not initialized"));
    EXPECT_EQ(*handlers.listCalls, 0);
}

TEST(ServerStrictMode, WithStrictOffEverythingIsDispatchedBeforeInitialize) {
    ServerHarness harness;
    const StrictHandlers handlers;
    handlers.registerOn(harness.server());
    harness.start();

    EXPECT_THAT(harness.repliesTo({toolsListRequest, noteNotification}), ElementsAre(toolsListReply));
    EXPECT_EQ(*handlers.listCalls, 1);
    EXPECT_EQ(*handlers.noteCalls, 1);
}

TEST(ServerStrictMode, AConfigurationChangeAppliesFromTheNextMessage) {
    ServerHarness harness;
    const StrictHandlers handlers;
    handlers.registerOn(harness.server());
    harness.start();
    EXPECT_THAT(harness.repliesTo({toolsListRequest}), ElementsAre(toolsListReply));

    harness.complete(harness.server().setConfiguration(ServerConfiguration::strictConfiguration()));

    EXPECT_THAT(harness.repliesTo({toolsListRequest}),
                ElementsAre(invalidRequestReply("3", "Server is not initialized")));
    EXPECT_EQ(*handlers.listCalls, 1);
}

}  // namespace
}  // namespace lumenary::mcp
