// The server's lifecycle, its handler registry and its send operations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/error.hpp>
#include <asio/system_error.hpp>
#include <asio/use_future.hpp>

#include "async/one_shot.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/handshake.hpp"
#include "mcp/server/server_harness.hpp"
#include "mcp/server/tool_methods.hpp"

namespace lumenary::mcp {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* notInitializedConnection = "Server connection not initialized";

// Runs `operation` and returns the MCPError it fails with; a test failure
// when it succeeds or fails otherwise.
template <typename T>
std::optional<MCPError> mcpFailureOf(ServerHarness& harness, asio::awaitable<T> operation) {
    try {
        harness.complete(std::move(operation));
        ADD_FAILURE() << "the operation succeeded";
    } catch (const MCPError& error) {
        return error;
    } catch (...) {
        ADD_FAILURE() << "failed with another error: " << localizedDescription(std::current_exception());
    }
    return std::nullopt;
}

void expectInternalError(const std::optional<MCPError>& error, const std::string& detail) {
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), MCPError::Case::internalError);
    EXPECT_EQ(error->code(), -32603);
    EXPECT_EQ(error->detail(), detail);
}

// ---------------------------------------------------------------- lifecycle

TEST(ServerLifecycle, ANewServerHoldsItsIdentityAndNoClientData) {
    ServerHarness harness(ServerConfiguration::defaultConfiguration(), "Use the echo tool.");
    auto& server = harness.server();

    EXPECT_EQ(server.name(), "lumenary-test");
    EXPECT_EQ(server.version(), "1.2.3");
    EXPECT_EQ(server.instructions(), "Use the echo tool.");
    EXPECT_EQ(harness.complete(server.capabilities()), hostCapabilities());
    EXPECT_EQ(harness.complete(server.configuration()), ServerConfiguration::defaultConfiguration());
    EXPECT_FALSE(harness.complete(server.isInitialized()));
    EXPECT_FALSE(harness.complete(server.clientInfo()));
    EXPECT_FALSE(harness.complete(server.clientCapabilities()));
    EXPECT_FALSE(harness.complete(server.protocolVersion()));
    EXPECT_EQ(harness.transport().connectCalls(), 0);
}

TEST(ServerLifecycle, CapabilitiesAndConfigurationCanBeChanged) {
    ServerHarness harness;
    const ServerCapabilities changed{.prompts = ServerCapabilities::Prompts{.listChanged = false}};

    harness.complete(harness.server().setCapabilities(changed));
    harness.complete(harness.server().setConfiguration(ServerConfiguration::strictConfiguration()));

    EXPECT_EQ(harness.complete(harness.server().capabilities()), changed);
    EXPECT_EQ(harness.complete(harness.server().configuration()), ServerConfiguration::strictConfiguration());
}

TEST(ServerLifecycle, StartConnectsOnceAndLogsServerStarted) {
    ServerHarness harness;

    harness.start();

    EXPECT_EQ(harness.transport().connectCalls(), 1);
    const auto started = harness.transport().recordsWithMessage("Server started");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].level, logging::LogLevel::debug);
    EXPECT_EQ(started[0].source, "MCP");
    EXPECT_EQ(started[0].metadata, (logging::Metadata{{"name", "lumenary-test"}, {"version", "1.2.3"}}));
}

TEST(ServerLifecycle, StartFailsWithTheTransportsOwnErrorAndRunsNoLoop) {
    struct Case {
        const char* name;
        std::exception_ptr failure;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"transport error",
         std::make_exception_ptr(MCPError::transportError(std::make_exception_ptr(std::runtime_error("no pipe")))),
         "Transport error: no pipe"},
        {"other error", std::make_exception_ptr(std::runtime_error("refused")), "refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerHarness harness;
        harness.transport().failConnects(c.failure);

        try {
            harness.start();
            ADD_FAILURE() << "start succeeded";
        } catch (const std::exception& error) {
            EXPECT_EQ(std::string(error.what()), c.description);
        }

        EXPECT_EQ(harness.transport().connectCalls(), 1);
        EXPECT_EQ(harness.logCount("Server started"), 0u);
        // No loop reads the stream, so a message meets no reply.
        harness.transport().deliver(R"({"jsonrpc":"2.0","id":1,"method":"ping"})");
        harness.runReady();
        EXPECT_EQ(harness.transport().sendAttempts(), 0u);
        auto waited = harness.launch(harness.server().waitForCompletion());
        harness.runReady();
        EXPECT_TRUE(waited->done);
        // The transport stays bound, and the built-in handlers stay registered.
        harness.complete(harness.server().sendNotification(Message<ToolListChangedNotification>()));
        EXPECT_EQ(harness.transport().sentCount(), 1u);
    }
}

TEST(ServerLifecycle, WaitForCompletionReturnsAtOnceWhenNeverStarted) {
    ServerHarness harness;

    auto waited = harness.launch(harness.server().waitForCompletion());
    harness.runReady();

    EXPECT_TRUE(waited->done);
    EXPECT_EQ(harness.logCount("Server finished"), 0u);
}

TEST(ServerLifecycle, WaitForCompletionReturnsOnceTheStreamEnds) {
    ServerHarness harness;
    harness.start();
    auto waited = harness.launch(harness.server().waitForCompletion());
    harness.runReady();
    ASSERT_FALSE(waited->done);

    harness.transport().endIncoming();

    ASSERT_TRUE(harness.runUntil([&] { return waited->done; }));
    const auto finished = harness.transport().recordsWithMessage("Server finished");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].level, logging::LogLevel::debug);
    EXPECT_EQ(finished[0].source, "MCP");
    EXPECT_FALSE(finished[0].metadata);
    EXPECT_EQ(harness.logCount("Fatal error in message handling loop"), 0u);

    // Once ended, waiting again returns at once and logs nothing more.
    auto again = harness.launch(harness.server().waitForCompletion());
    harness.runReady();
    EXPECT_TRUE(again->done);
    EXPECT_EQ(harness.logCount("Server finished"), 1u);
}

TEST(ServerLifecycle, AFailingStreamIsLoggedAsFatalBeforeServerFinished) {
    struct Case {
        const char* name;
        std::exception_ptr failure;
    };
    // An abort that does not come from stop() is a failure of the stream too.
    const std::vector<Case> cases = {
        {"runtime_error", std::make_exception_ptr(std::runtime_error("stream broke"))},
        {"operation aborted", std::make_exception_ptr(asio::system_error(asio::error::operation_aborted))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerHarness harness;
        harness.start();

        harness.transport().endIncoming(c.failure);
        harness.complete(harness.server().waitForCompletion());

        std::vector<std::string> endLines;
        for (const auto& entry : harness.transport().records()) {
            if (entry.message == "Fatal error in message handling loop" || entry.message == "Server finished") {
                endLines.push_back(entry.message);
            }
        }
        EXPECT_THAT(endLines, ElementsAre("Fatal error in message handling loop", "Server finished"));
        const auto fatal = harness.transport().recordsWithMessage("Fatal error in message handling loop");
        ASSERT_EQ(fatal.size(), 1u);
        EXPECT_EQ(fatal[0].level, logging::LogLevel::error);
        EXPECT_EQ(fatal[0].source, "MCP");
        EXPECT_EQ(fatal[0].metadata, (logging::Metadata{{"error", localizedDescription(c.failure)}}));
    }
}

TEST(ServerLifecycle, StopWhileTheLoopWaitsDisconnectsAndTheLoopEnds) {
    ServerHarness harness;
    harness.start();
    auto waited = harness.launch(harness.server().waitForCompletion());
    harness.runReady();
    ASSERT_FALSE(waited->done);

    harness.complete(harness.server().stop());

    EXPECT_EQ(harness.transport().disconnectCalls(), 1);
    ASSERT_TRUE(harness.runUntil([&] { return waited->done; }));
    // Without a connection there is no logger left to write to.
    EXPECT_EQ(harness.logCount("Server finished"), 0u);
    EXPECT_EQ(harness.logCount("Fatal error in message handling loop"), 0u);
}

TEST(ServerLifecycle, StopEndsTheLoopEvenWhenTheStreamStaysOpen) {
    ServerHarness harness;
    harness.transport().keepStreamOpenOnDisconnect();
    harness.start();
    auto waited = harness.launch(harness.server().waitForCompletion());
    harness.runReady();

    harness.complete(harness.server().stop());

    ASSERT_TRUE(harness.runUntil([&] { return waited->done; }));
    harness.transport().deliver(R"({"jsonrpc":"2.0","id":1,"method":"ping"})");
    harness.runReady();
    EXPECT_EQ(harness.transport().sendAttempts(), 0u);
}

TEST(ServerLifecycle, StopWhileAHandlerWaitsEndsTheLoopWithoutFurtherMessages) {
    ServerHarness harness;
    async::OneShot<void> gate;
    auto calls = std::make_shared<std::vector<std::string>>();
    harness.server().registerMethodHandler<EchoMethod>([gate, calls](Value params) -> asio::awaitable<Value> {
        calls->push_back("starts");
        co_await gate.wait();
        calls->push_back("ends");
        co_return params;
    });
    harness.start();
    auto waited = harness.launch(harness.server().waitForCompletion());
    harness.transport().deliver(R"({"jsonrpc":"2.0","id":1,"method":"test/echo","params":1})");
    harness.transport().deliver(R"({"jsonrpc":"2.0","id":2,"method":"test/echo","params":2})");
    harness.runReady();
    ASSERT_THAT(*calls, ElementsAre("starts"));

    harness.complete(harness.server().stop());

    ASSERT_TRUE(harness.runUntil([&] { return waited->done; }));
    // The waiting handler was cancelled and the queued message never ran.
    EXPECT_THAT(*calls, ElementsAre("starts"));
    EXPECT_EQ(harness.transport().sendAttempts(), 0u);
}

TEST(ServerLifecycle, StopOnANeverStartedServerDisconnectsNothing) {
    ServerHarness harness;

    harness.complete(harness.server().stop());

    EXPECT_EQ(harness.transport().disconnectCalls(), 0);
    auto waited = harness.launch(harness.server().waitForCompletion());
    harness.runReady();
    EXPECT_TRUE(waited->done);
}

TEST(ServerLifecycle, StopKeepsTheClientDataAndTheInitializedState) {
    ServerHarness harness;
    harness.start();
    harness.replyTo(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2024-11-05",)"
                    R"("capabilities":{},"clientInfo":{"name":"probe","version":"9"}}})");

    harness.complete(harness.server().stop());

    EXPECT_TRUE(harness.complete(harness.server().isInitialized()));
    EXPECT_EQ(harness.complete(harness.server().clientInfo()), (ClientInfo{"probe", "9"}));
    EXPECT_EQ(harness.complete(harness.server().protocolVersion()), "2024-11-05");
    auto waited = harness.launch(harness.server().waitForCompletion());
    harness.runReady();
    EXPECT_TRUE(waited->done);
}

TEST(ServerLifecycle, AnEndedServerIsFreedWithItsLastReference) {
    ServerHarness harness;
    harness.server().registerMethodHandler<EchoMethod>(
        [](Value params) -> asio::awaitable<Value> { co_return params; });
    harness.start();
    harness.replyTo(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})");

    // Neither the handler table nor the ended loop keeps the server alive.
    const std::weak_ptr<Server> server = harness.windDownAndRelease();

    EXPECT_TRUE(server.expired());
}

// ------------------------------------------------------------- registration

TEST(ServerRegistration, RegistrationReturnsTheServerForChaining) {
    ServerHarness harness;
    auto& server = harness.server();

    Server& chained =
        server.registerMethodHandler<EchoMethod>([](Value params) -> asio::awaitable<Value> { co_return params; })
            .registerNotificationHandler<NoteNotification>(
                [](Message<NoteNotification>) -> asio::awaitable<void> { co_return; });

    EXPECT_EQ(&chained, &server);
}

TEST(ServerRegistration, ASecondToolsCallHandlerReplacesTheFirst) {
    ServerHarness harness;
    auto firstCalls = std::make_shared<int>(0);
    harness.server().registerMethodHandler<CallTool>(
        [firstCalls](CallTool::Parameters) -> asio::awaitable<CallTool::Result> {
            ++*firstCalls;
            co_return CallTool::Result{.content = {Tool::Content::text("first")}};
        });
    harness.server().registerMethodHandler<CallTool>(
        [](CallTool::Parameters parameters) -> asio::awaitable<CallTool::Result> {
            co_return CallTool::Result{.content = {Tool::Content::text("second " + parameters.name)}};
        });
    harness.start();

    EXPECT_EQ(harness.replyTo(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"run"}})"),
              R"({"id":1,"jsonrpc":"2.0","result":{"content":[{"text":"second run","type":"text"}]}})");
    EXPECT_EQ(*firstCalls, 0);
}

TEST(ServerRegistration, StartReplacesInitializeAndPingHandlersRegisteredBefore) {
    ServerHarness harness;
    harness.server().registerMethodHandler<Ping>([](Empty) -> asio::awaitable<Empty> {
        throw MCPError::invalidParams("host ping");
        co_return Empty{};
    });
    harness.server().registerMethodHandler<Initialize>(
        [](Initialize::Parameters) -> asio::awaitable<Initialize::Result> {
            throw MCPError::invalidParams("host initialize");
            co_return Initialize::Result{};
        });
    harness.start();

    EXPECT_EQ(harness.replyTo(R"({"jsonrpc":"2.0","id":1,"method":"ping"})"),
              R"({"id":1,"jsonrpc":"2.0","result":{}})");
    EXPECT_EQ(harness.replyTo(R"({"jsonrpc":"2.0","id":2,"method":"initialize","params":{}})"),
              R"({"id":2,"jsonrpc":"2.0","result":{"capabilities":{"tools":{"listChanged":true}},)"
              R"("protocolVersion":"2025-03-26","serverInfo":{"name":"lumenary-test","version":"1.2.3"}}})");
}

TEST(ServerRegistration, InitializeAndPingHandlersRegisteredAfterStartReplaceTheBuiltIns) {
    ServerHarness harness;
    harness.start();
    harness.server().registerMethodHandler<Ping>([](Empty) -> asio::awaitable<Empty> {
        throw MCPError::invalidParams("host ping");
        co_return Empty{};
    });
    harness.server().registerMethodHandler<Initialize>(
        [](Initialize::Parameters parameters) -> asio::awaitable<Initialize::Result> {
            co_return Initialize::Result{.protocolVersion = "host " + parameters.protocolVersion,
                                         .capabilities = {},
                                         .serverInfo = {"host", "0"},
                                         .instructions = std::nullopt};
        });

    // The marker ping is the host's now, so the replies are awaited directly.
    harness.transport().deliver(R"({"jsonrpc":"2.0","id":1,"method":"ping"})");
    harness.transport().deliver(
        R"({"jsonrpc":"2.0","id":2,"method":"initialize","params":{"protocolVersion":"2024-11-05"}})");

    EXPECT_THAT(harness.sentOnceThereAre(2),
                ElementsAre(R"({"error":{"code":-32602,"data":{"detail":"host ping"},"message":"Invalid params: )"
                            R"(host ping"},"id":1,"jsonrpc":"2.0"})",
                            R"({"id":2,"jsonrpc":"2.0","result":{"capabilities":{},"protocolVersion":"host )"
                            R"(2024-11-05","serverInfo":{"name":"host","version":"0"}}})"));
    EXPECT_FALSE(harness.complete(harness.server().isInitialized()));
}

TEST(ServerRegistration, MethodHandlersGetTheTypedParameters) {
    ServerHarness harness;
    auto seen = std::make_shared<std::vector<CallTool::Parameters>>();
    harness.server().registerMethodHandler<CallTool>(
        [seen](CallTool::Parameters parameters) -> asio::awaitable<CallTool::Result> {
            seen->push_back(parameters);
            co_return CallTool::Result{.content = {}, .isError = true};
        });
    harness.start();

    EXPECT_EQ(harness.replyTo(R"({"jsonrpc":"2.0","id":"c","method":"tools/call",)"
                              R"("params":{"name":"run","arguments":{"n":1,"s":"x"}}})"),
              R"({"id":"c","jsonrpc":"2.0","result":{"content":[],"isError":true}})");
    ASSERT_EQ(seen->size(), 1u);
    EXPECT_EQ(seen->at(0).name, "run");
    EXPECT_EQ(seen->at(0).arguments, (std::map<std::string, Value>{{"n", 1}, {"s", "x"}}));
}

// ----------------------------------------------------------------- sending

TEST(ServerSending, SendNotificationWithoutAConnectionFailsAndSendsNothing) {
    struct Case {
        const char* name;
        bool startAndStop;
    };
    for (const auto& c : {Case{"never started", false}, Case{"stopped", true}}) {
        SCOPED_TRACE(c.name);
        ServerHarness harness;
        if (c.startAndStop) {
            harness.start();
            harness.complete(harness.server().stop());
        }

        expectInternalError(
            mcpFailureOf(harness, harness.server().sendNotification(Message<ToolListChangedNotification>())),
            notInitializedConnection);
        EXPECT_EQ(harness.transport().sendAttempts(), 0u);
    }
}

TEST(ServerSending, AMissingConnectionIsReportedBeforeAnUnwritableMessage) {
    ServerHarness harness;
    const Message<NoteNotification> unwritable(Value::object({{"x", std::numeric_limits<double>::quiet_NaN()}}));

    expectInternalError(mcpFailureOf(harness, harness.server().sendNotification(unwritable)), notInitializedConnection);
    EXPECT_EQ(harness.transport().sendAttempts(), 0u);
}

TEST(ServerSending, SendResponseWithoutAConnectionFails) {
    ServerHarness harness;

    expectInternalError(mcpFailureOf(harness, harness.server().sendResponse(Response<Ping>::success(ID(1), Empty{}))),
                        notInitializedConnection);
    EXPECT_EQ(harness.transport().sendAttempts(), 0u);
}

TEST(ServerSending, NotificationsAndResponsesAreWrittenAsCompactLinesWithSortedKeys) {
    ServerHarness harness;
    harness.start();

    harness.complete(harness.server().sendNotification(Message<ToolListChangedNotification>()));
    harness.complete(harness.server().sendNotification(
        Message<NoteNotification>(Value::object({{"zeta", "a/b"}, {"alpha", Value::array({1, true, nullptr})}}))));
    harness.complete(harness.server().sendResponse(Response<EchoMethod>::success(ID("r"), Value("</script>"))));

    EXPECT_THAT(harness.transport().sent(),
                ElementsAre(R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})",
                            R"({"jsonrpc":"2.0","method":"test/note","params":{"alpha":[1,true,null],"zeta":"a/b"}})",
                            R"({"id":"r","jsonrpc":"2.0","result":"</script>"})"));
}

TEST(ServerSending, AnUnwritableMessageFailsWithTheWritersErrorAndSendsNothing) {
    ServerHarness harness;
    harness.start();
    const Message<NoteNotification> unwritable(Value(std::numeric_limits<double>::infinity()));

    EXPECT_THROW(harness.complete(harness.server().sendNotification(unwritable)), EncodingError);
    EXPECT_EQ(harness.transport().sendAttempts(), 0u);
}

TEST(ServerSending, ATransportSendFailureReachesTheCaller) {
    ServerHarness harness;
    harness.start();
    harness.transport().failSends(std::make_exception_ptr(std::runtime_error("pipe closed")));

    try {
        harness.complete(harness.server().sendNotification(Message<ToolListChangedNotification>()));
        ADD_FAILURE() << "the send succeeded";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "pipe closed");
    }
    EXPECT_EQ(harness.transport().sendAttempts(), 1u);
}

TEST(ServerSending, RequestSamplingAlwaysFailsAndSendsNothing) {
    struct Case {
        const char* name;
        bool started;
        bool stopped;
        std::string detail;
    };
    const std::vector<Case> cases = {
        {"never started", false, false, notInitializedConnection},
        {"started", true, false, "Bidirectional sampling requests not yet implemented in transport layer"},
        {"stopped", true, true, notInitializedConnection},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerHarness harness;
        if (c.started) {
            harness.start();
        }
        if (c.stopped) {
            harness.complete(harness.server().stop());
        }

        expectInternalError(
            mcpFailureOf(harness, harness.server().requestSampling(CreateSamplingMessage::Parameters{})), c.detail);
        EXPECT_EQ(harness.transport().sendAttempts(), 0u);
    }
}

// ------------------------------------------------------------- concurrency

// Waits for `done` while other threads run the io_context; false at the deadline.
template <typename Predicate>
bool waitFor(Predicate done) {
    const auto deadline = std::chrono::steady_clock::now() + async::test::kDeadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

asio::awaitable<void> sendNotifications(std::shared_ptr<Server> server, int count) {
    for (int index = 0; index < count; ++index) {
        co_await server->sendNotification(Message<ToolListChangedNotification>());
    }
}

TEST(ServerConcurrency, RepliesKeepTheirOrderWhileTheHostSendsFromAThreadPool) {
    constexpr int requests = 200;
    constexpr int notifications = 50;
    async::test::ContextThreads threads(4);
    auto& io = threads.context();
    auto transport = testing::RecordingTransport::create(io.get_executor());
    auto server = Server::create(io.get_executor(), "lumenary-test", "1.2.3", std::nullopt, hostCapabilities(),
                                 ServerConfiguration::defaultConfiguration());
    server->registerMethodHandler<EchoMethod>([](Value params) -> asio::awaitable<Value> { co_return params; });
    auto started = asio::co_spawn(io, server->start(transport), asio::use_future);
    ASSERT_EQ(started.wait_for(async::test::kDeadline), std::future_status::ready);
    started.get();

    auto sending = asio::co_spawn(io, sendNotifications(server, notifications), asio::use_future);
    for (int id = 0; id < requests; ++id) {
        transport->deliver(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":"test/echo","params":)" +
                           std::to_string(id) + "}");
    }

    ASSERT_TRUE(waitFor([&] { return transport->sentCount() == requests + notifications; }));
    ASSERT_EQ(sending.wait_for(async::test::kDeadline), std::future_status::ready);
    sending.get();
    std::vector<std::string> replies;
    for (const auto& line : transport->sent()) {
        if (line != R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})") {
            replies.push_back(line);
        }
    }
    ASSERT_EQ(replies.size(), static_cast<std::size_t>(requests));
    for (int id = 0; id < requests; ++id) {
        EXPECT_EQ(replies[static_cast<std::size_t>(id)],
                  R"({"id":)" + std::to_string(id) + R"(,"jsonrpc":"2.0","result":)" + std::to_string(id) + "}");
    }

    transport->endIncoming();
    auto ended = asio::co_spawn(io, server->waitForCompletion(), asio::use_future);
    ASSERT_EQ(ended.wait_for(async::test::kDeadline), std::future_status::ready);
    auto stopped = asio::co_spawn(io, server->stop(), asio::use_future);
    ASSERT_EQ(stopped.wait_for(async::test::kDeadline), std::future_status::ready);
    EXPECT_EQ(transport->recordsWithMessage("Server finished").size(), 1u);
}

}  // namespace
}  // namespace lumenary::mcp
