// The message loop: what each received text is taken for, which handler it
// reaches, and what goes back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "async/one_shot.hpp"
#include "mcp/server/server_harness.hpp"
#include "mcp/server/tool_methods.hpp"

namespace lumenary::mcp {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

constexpr const char* parseErrorBody = R"("error":{"code":-32700,"data":{"detail":"Invalid message format"},)"
                                       R"("message":"Parse error: Invalid JSON: Invalid message format"})";

// A reply line with the parse error under `id` (JSON text of the id).
std::string parseErrorUnder(const std::string& id) {
    return std::string("{") + parseErrorBody + R"(,"id":)" + id + R"(,"jsonrpc":"2.0"})";
}

// One notification name read two ways: with typed parameters and untyped.
struct RunNotification {
    static constexpr std::string_view name = "test/run";
    using Parameters = CallTool::Parameters;
};

struct UntypedRunNotification {
    static constexpr std::string_view name = "test/run";
    using Parameters = Value;
};

// Registers a "test/echo" handler that answers with its parameters and
// counts its calls.
std::shared_ptr<int> registerCountingEcho(Server& server) {
    auto calls = std::make_shared<int>(0);
    server.registerMethodHandler<EchoMethod>([calls](Value params) -> asio::awaitable<Value> {
        ++*calls;
        co_return params;
    });
    return calls;
}

// ------------------------------------------------------------- unreadable

TEST(ServerDispatch, UnreadableMessagesAreParseErrorsUnderTheirOwnIDOrAFreshOne) {
    struct Case {
        const char* name;
        std::string message;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {"not JSON", "this is not json", parseErrorUnder(R"("<fresh>")")},
        {"cut short", R"({"jsonrpc":"2.0","id":1,"method":)", parseErrorUnder(R"("<fresh>")")},
        {"wrong version, string id", R"({"jsonrpc":"1.0","id":"r1","method":"ping"})", parseErrorUnder(R"("r1")")},
        {"wrong version, integer id", R"({"jsonrpc":"1.0","id":5,"method":"ping"})", parseErrorUnder("5")},
        {"no version, integer id", R"({"id":-8,"method":"ping"})", parseErrorUnder("-8")},
        {"wrong version, boolean id", R"({"jsonrpc":"1.0","id":true,"method":"ping"})",
         parseErrorUnder(R"("<fresh>")")},
        {"wrong version, null id", R"({"jsonrpc":"1.0","id":null,"method":"ping"})", parseErrorUnder(R"("<fresh>")")},
        {"wrong version, fractional id", R"({"jsonrpc":"1.0","id":2.5,"method":"ping"})",
         parseErrorUnder(R"("<fresh>")")},
        {"success response", R"({"jsonrpc":"2.0","id":3,"result":{}})", parseErrorUnder("3")},
        {"error response", R"({"jsonrpc":"2.0","id":"e","error":{"code":-32600,"message":"no"}})",
         parseErrorUnder(R"("e")")},
        {"a number", "42", parseErrorUnder(R"("<fresh>")")},
        {"a string", R"("ping")", parseErrorUnder(R"("<fresh>")")},
        {"an object without method", R"({"jsonrpc":"2.0"})", parseErrorUnder(R"("<fresh>")")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerHarness harness;
        harness.start();

        EXPECT_EQ(maskFreshIDs(harness.replyTo(c.message)), c.reply);
        const auto logged = harness.transport().recordsWithMessage("Error processing message");
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].level, logging::LogLevel::error);
        EXPECT_EQ(logged[0].source, "MCP");
        EXPECT_EQ(logged[0].metadata,
                  (logging::Metadata{{"error", "Parse error: Invalid JSON: Invalid message format"}}));
    }
}

TEST(ServerDispatch, EveryFreshIDIsANewUpperCaseUUID) {
    ServerHarness harness;
    harness.start();

    const auto replies = harness.repliesTo({"not json", "not json either"});

    ASSERT_EQ(replies.size(), 2u);
    const std::string first = stringIDOf(replies[0]);
    const std::string second = stringIDOf(replies[1]);
    EXPECT_THAT(first, MatchesRegex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"));
    EXPECT_THAT(second, MatchesRegex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"));
    EXPECT_NE(first, second);
}

TEST(ServerDispatch, TheLoopGoesOnAfterABadMessage) {
    ServerHarness harness;
    harness.start();

    const auto replies = harness.repliesTo({"{", R"({"jsonrpc":"2.0","id":2,"method":"ping"})"});

    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(maskFreshIDs(replies[0]), parseErrorUnder(R"("<fresh>")"));
    EXPECT_EQ(replies[1], R"({"id":2,"jsonrpc":"2.0","result":{}})");
}

// ---------------------------------------------------------------- requests

TEST(ServerDispatch, AMethodWithoutAHandlerIsAnsweredUnderItsID) {
    struct Case {
        std::string message;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {R"({"jsonrpc":"2.0","id":7,"method":"x"})",
         R"({"error":{"code":-32601,"data":{"detail":"Unknown method: x"},"message":"Method not found: )"
         R"(Unknown method: x"},"id":7,"jsonrpc":"2.0"})"},
        {R"({"jsonrpc":"2.0","id":"seven","method":"tools/nothing","params":{"a":1}})",
         R"({"error":{"code":-32601,"data":{"detail":"Unknown method: tools/nothing"},"message":"Method not )"
         R"(found: Unknown method: tools/nothing"},"id":"seven","jsonrpc":"2.0"})"},
        // Outside a batch the empty method is just another unknown name.
        {R"({"jsonrpc":"2.0","id":8,"method":""})",
         R"({"error":{"code":-32601,"data":{"detail":"Unknown method: "},"message":"Method not found: )"
         R"(Unknown method: "},"id":8,"jsonrpc":"2.0"})"},
        // A null id reads as the empty string id.
        {R"({"jsonrpc":"2.0","id":null,"method":"x"})",
         R"({"error":{"code":-32601,"data":{"detail":"Unknown method: x"},"message":"Method not found: )"
         R"(Unknown method: x"},"id":"","jsonrpc":"2.0"})"},
    };
    ServerHarness harness;
    harness.start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(harness.replyTo(c.message), c.reply);
    }
}

TEST(ServerDispatch, AHandlerFailureIsAnsweredUnderTheRequestsID) {
    struct Case {
        const char* name;
        std::exception_ptr failure;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"MCPError", std::make_exception_ptr(MCPError::invalidParams("bad")),
         R"({"code":-32602,"data":{"detail":"bad"},"message":"Invalid params: bad"})"},
        {"server error", std::make_exception_ptr(MCPError::serverError(-32050, "busy")),
         R"({"code":-32050,"message":"Server error: busy"})"},
        {"runtime_error", std::make_exception_ptr(std::runtime_error("boom")),
         R"({"code":-32603,"data":{"detail":"boom"},"message":"Internal error: boom"})"},
        {"logic_error", std::make_exception_ptr(std::logic_error("a/b")),
         R"({"code":-32603,"data":{"detail":"a/b"},"message":"Internal error: a/b"})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerHarness harness;
        harness.server().registerMethodHandler<EchoMethod>([failure = c.failure](Value) -> asio::awaitable<Value> {
            std::rethrow_exception(failure);
            co_return Value();
        });
        harness.start();

        EXPECT_EQ(harness.replyTo(R"({"jsonrpc":"2.0","id":11,"method":"test/echo"})"),
                  R"({"error":)" + c.error + R"(,"id":11,"jsonrpc":"2.0"})");
        // A handler's failure is its request's answer, not a message failure.
        EXPECT_EQ(harness.logCount("Error processing message"), 0u);
    }
}

TEST(ServerDispatch, ParametersThatDoNotReadAsTheTypedOnesAreInternalErrors) {
    struct Case {
        std::string message;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":5}})",
         R"({"error":{"code":-32603,"data":{"detail":"Invalid params field"},"message":"Internal error: )"
         R"(Invalid params field"},"id":1,"jsonrpc":"2.0"})"},
        {R"({"jsonrpc":"2.0","id":"two","method":"tools/call"})",
         R"({"error":{"code":-32603,"data":{"detail":"Missing required params field"},"message":"Internal error: )"
         R"(Missing required params field"},"id":"two","jsonrpc":"2.0"})"},
    };
    ServerHarness harness;
    auto calls = std::make_shared<int>(0);
    harness.server().registerMethodHandler<CallTool>(
        [calls](CallTool::Parameters) -> asio::awaitable<CallTool::Result> {
            ++*calls;
            co_return CallTool::Result{};
        });
    harness.start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(harness.replyTo(c.message), c.reply);
    }
    EXPECT_EQ(*calls, 0);
}

TEST(ServerDispatch, ResultsKeepSlashesBareAndDataURLTextsExact) {
    ServerHarness harness;
    harness.server().registerMethodHandler<EchoMethod>([](Value) -> asio::awaitable<Value> {
        co_return Value::object({{"path", "/tmp/a/b"},
                                 {"plain", "data:,Hello%2C%20World"},
                                 {"base64", "data:;base64,SGk="},
                                 {"typed", "data:text/plain;charset=utf-8,a/b"}});
    });
    harness.start();

    EXPECT_EQ(harness.replyTo(R"({"jsonrpc":"2.0","id":1,"method":"test/echo"})"),
              R"({"id":1,"jsonrpc":"2.0","result":{"base64":"data:;base64,SGk=","path":"/tmp/a/b",)"
              R"("plain":"data:,Hello%2C%20World","typed":"data:text/plain;charset=utf-8,a/b"}})");
}

TEST(ServerDispatch, RequestsAreLoggedWithTheirMethodAndID) {
    ServerHarness harness;
    harness.start();

    harness.repliesTo({R"({"jsonrpc":"2.0","id":7,"method":"x"})", R"({"jsonrpc":"2.0","id":"a/b","method":"ping"})"});

    std::vector<logging::Metadata> logged;
    for (const auto& entry : harness.transport().recordsWithMessage("Processing request")) {
        EXPECT_EQ(entry.level, logging::LogLevel::trace);
        EXPECT_EQ(entry.source, "MCP");
        logged.push_back(entry.metadata.value_or(logging::Metadata{}));
    }
    EXPECT_THAT(logged, ElementsAre(logging::Metadata{{"method", "x"}, {"id", "7"}},
                                    logging::Metadata{{"method", "ping"}, {"id", "a/b"}},
                                    logging::Metadata{{"method", "ping"}, {"id", "marker"}}));
}

TEST(ServerDispatch, MessagesAreHandledOneAtATime) {
    ServerHarness harness;
    async::OneShot<void> gate;
    auto calls = std::make_shared<std::vector<std::string>>();
    harness.server().registerMethodHandler<EchoMethod>([gate, calls](Value params) -> asio::awaitable<Value> {
        calls->push_back("echo starts");
        co_await gate.wait();
        calls->push_back("echo ends");
        co_return params;
    });
    harness.start();

    harness.transport().deliver(R"({"jsonrpc":"2.0","id":1,"method":"test/echo","params":"slow"})");
    harness.transport().deliver(R"({"jsonrpc":"2.0","id":2,"method":"ping"})");
    harness.runReady();
    EXPECT_THAT(*calls, ElementsAre("echo starts"));
    EXPECT_EQ(harness.transport().sendAttempts(), 0u);

    gate.resume();

    EXPECT_THAT(harness.sentOnceThereAre(2),
                ElementsAre(R"({"id":1,"jsonrpc":"2.0","result":"slow"})", R"({"id":2,"jsonrpc":"2.0","result":{}})"));
    EXPECT_THAT(*calls, ElementsAre("echo starts", "echo ends"));
}

TEST(ServerDispatch, TheHostCanSendWhileAHandlerWaits) {
    ServerHarness harness;
    async::OneShot<void> gate;
    harness.server().registerMethodHandler<EchoMethod>([gate](Value params) -> asio::awaitable<Value> {
        co_await gate.wait();
        co_return params;
    });
    harness.start();
    harness.transport().deliver(R"({"jsonrpc":"2.0","id":1,"method":"test/echo","params":"late"})");
    harness.runReady();

    harness.complete(harness.server().sendNotification(Message<ToolListChangedNotification>()));
    gate.resume();

    EXPECT_THAT(harness.sentOnceThereAre(2),
                ElementsAre(R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})",
                            R"({"id":1,"jsonrpc":"2.0","result":"late"})"));
}

// ----------------------------------------------------------- what a reply answers

// What a sent message says it answers, with each id in its JSON form.
std::string answeredBy(const SentMessage& message) {
    if (const ID* id = message.answeredRequest()) {
        return "reply " + writeJSON(encodeValue(*id));
    }
    if (const std::vector<ID>* ids = message.answeredBatch()) {
        std::string text = "batch";
        for (const auto& id : *ids) {
            text += " " + writeJSON(encodeValue(id));
        }
        return text;
    }
    return "nothing";
}

TEST(ServerDispatch, EveryReplyCarriesTheIdsItAnswersSoNoTransportNeedsToReadIt) {
    struct Case {
        std::string message;
        std::string answered;
    };
    const std::vector<Case> cases{
        {R"({"jsonrpc":"2.0","id":"r","method":"ping"})", R"(reply "r")"},
        {R"({"jsonrpc":"2.0","id":7.0,"method":"no/such"})", "reply 7"},
        {R"({"jsonrpc":"2.0","id":8,"method":"test/echo","params":{"text":"x"}})", "reply 8"},
        {R"({"jsonrpc":"1.0","id":9,"method":"ping"})", "reply 9"},
        {"not json", "nothing"},
        {R"([{"jsonrpc":"2.0","id":1,"method":"ping"},{"jsonrpc":"2.0","method":"test/note"},)"
         R"({"jsonrpc":"2.0","id":"b","method":"no/such"}])",
         R"(batch 1 "b")"},
        {"[]", "nothing"},
    };
    ServerHarness harness;
    registerCountingEcho(harness.server());
    harness.start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        harness.replyTo(c.message);
        const auto sent = harness.transport().sentMessages();
        ASSERT_GE(sent.size(), 2u);
        EXPECT_EQ(answeredBy(sent.end()[-2]), c.answered);
        EXPECT_EQ(answeredBy(sent.back()), R"(reply "marker")");
    }
}

// ----------------------------------------------------------- send failures

TEST(ServerDispatch, AFailedReplyIsLoggedAndTheLoopGoesOn) {
    ServerHarness harness;
    harness.start();
    harness.transport().failSends(std::make_exception_ptr(std::runtime_error("pipe closed")));

    harness.transport().deliver(R"({"jsonrpc":"2.0","id":1,"method":"ping"})");
    // The reply, the error reply of the request, and the loop's own error reply.
    ASSERT_TRUE(harness.runUntil([&] { return harness.transport().sendAttempts() == 3; }));
    harness.transport().failSends(nullptr);

    EXPECT_EQ(harness.replyTo(R"({"jsonrpc":"2.0","id":2,"method":"ping"})"),
              R"({"id":2,"jsonrpc":"2.0","result":{}})");
    EXPECT_EQ(harness.transport().sendAttempts(), 5u);
    const auto logged = harness.transport().recordsWithMessage("Error processing message");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].metadata, (logging::Metadata{{"error", "pipe closed"}}));
}

TEST(ServerDispatch, AReplyThatWouldBlockIsDroppedWithoutALogLine) {
    ServerHarness harness;
    harness.start();
    harness.transport().failSends(std::make_exception_ptr(std::system_error(EAGAIN, std::generic_category())));

    harness.transport().deliver(R"({"jsonrpc":"2.0","id":1,"method":"ping"})");
    // The reply and the error reply of the request; the loop itself sends nothing.
    ASSERT_TRUE(harness.runUntil([&] { return harness.transport().sendAttempts() == 2; }));
    harness.transport().failSends(nullptr);

    EXPECT_EQ(harness.replyTo(R"({"jsonrpc":"2.0","id":2,"method":"ping"})"),
              R"({"id":2,"jsonrpc":"2.0","result":{}})");
    EXPECT_EQ(harness.transport().sendAttempts(), 4u);
    EXPECT_EQ(harness.logCount("Error processing message"), 0u);
}

// ----------------------------------------------------------- notifications

TEST(ServerDispatch, ANotificationWithoutHandlersProducesNoOutput) {
    ServerHarness harness;
    harness.start();

    EXPECT_THAT(harness.repliesTo({R"({"jsonrpc":"2.0","method":"notifications/unknown"})",
                                   R"({"jsonrpc":"2.0","method":"test/note","params":[1]})"}),
                IsEmpty());
    EXPECT_EQ(harness.logCount("Error processing message"), 0u);
    EXPECT_EQ(harness.logCount("Processing notification"), 2u);
}

TEST(ServerDispatch, NotificationHandlersRunInRegistrationOrderAndAFailureDoesNotStopTheRest) {
    ServerHarness harness;
    auto calls = std::make_shared<std::vector<std::string>>();
    harness.server().registerNotificationHandler<NoteNotification>(
        [calls](Message<NoteNotification> message) -> asio::awaitable<void> {
            calls->push_back("first " + message.params.description());
            throw std::runtime_error("first failed");
            co_return;
        });
    harness.server().registerNotificationHandler<NoteNotification>(
        [calls](Message<NoteNotification> message) -> asio::awaitable<void> {
            calls->push_back("second " + message.params.description());
            co_return;
        });
    harness.start();

    EXPECT_THAT(harness.repliesTo({R"({"jsonrpc":"2.0","method":"test/note","params":"hello"})"}), IsEmpty());

    EXPECT_THAT(*calls, ElementsAre("first hello", "second hello"));
    const auto logged = harness.transport().recordsWithMessage("Error handling notification");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].level, logging::LogLevel::error);
    EXPECT_EQ(logged[0].source, "MCP");
    EXPECT_EQ(logged[0].metadata, (logging::Metadata{{"method", "test/note"}, {"error", "first failed"}}));
    EXPECT_EQ(harness.logCount("Error processing message"), 0u);
}

TEST(ServerDispatch, NotificationsAreLoggedWithTheirMethod) {
    ServerHarness harness;
    harness.start();

    harness.repliesTo({R"({"jsonrpc":"2.0","method":"test/note"})"});

    const auto logged = harness.transport().recordsWithMessage("Processing notification");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].level, logging::LogLevel::trace);
    EXPECT_EQ(logged[0].source, "MCP");
    EXPECT_EQ(logged[0].metadata, (logging::Metadata{{"method", "test/note"}}));
}

TEST(ServerDispatch, ParamsThatDoNotReadAsTheTypedOnesFailOnlyThatNotificationHandler) {
    ServerHarness harness;
    auto calls = std::make_shared<std::vector<std::string>>();
    harness.server().registerNotificationHandler<RunNotification>(
        [calls](Message<RunNotification> message) -> asio::awaitable<void> {
            calls->push_back("typed " + message.params.name);
            co_return;
        });
    harness.server().registerNotificationHandler<UntypedRunNotification>(
        [calls](Message<UntypedRunNotification> message) -> asio::awaitable<void> {
            calls->push_back("untyped " + writeJSON(message.params));
            co_return;
        });
    harness.start();

    EXPECT_THAT(harness.repliesTo({R"({"jsonrpc":"2.0","method":"test/run","params":{"name":5}})"}), IsEmpty());

    EXPECT_THAT(*calls, ElementsAre(R"(untyped {"name":5})"));
    const auto logged = harness.transport().recordsWithMessage("Error handling notification");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].metadata, (logging::Metadata{{"method", "test/run"}, {"error", "Invalid params field"}}));
}

TEST(ServerDispatch, AnAwkwardIDIsAnsweredAsTheClassifierReadsIt) {
    // Whatever carries a method and an id is answered: under the id when it
    // is one, else with a parse error under a fresh id. None of them is
    // taken for a notification.
    struct Case {
        std::string message;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {R"({"jsonrpc":"2.0","id":7.0,"method":"ping"})", R"({"id":7,"jsonrpc":"2.0","result":{}})"},
        {R"({"jsonrpc":"2.0","id":1e-400,"method":"ping"})", R"({"id":0,"jsonrpc":"2.0","result":{}})"},
        {R"({"jsonrpc":"2.0","id":-9223372036854775809,"method":"ping"})",
         R"({"id":-9223372036854775808,"jsonrpc":"2.0","result":{}})"},
        {R"({"jsonrpc":"2.0","id":7.5,"method":"ping"})", parseErrorUnder(R"("<fresh>")")},
        {R"({"jsonrpc":"2.0","id":true,"method":"test/note"})", parseErrorUnder(R"("<fresh>")")},
        {R"({"jsonrpc":"2.0","id":{},"method":"ping"})", parseErrorUnder(R"("<fresh>")")},
        {R"({"jsonrpc":"2.0","id":[1],"method":"test/echo"})", parseErrorUnder(R"("<fresh>")")},
        // A batch reads its elements the same way.
        {R"([{"jsonrpc":"2.0","id":7.0,"method":"ping"}])", R"([{"id":7,"jsonrpc":"2.0","result":{}}])"},
        {R"([{"jsonrpc":"2.0","id":1,"method":"test/echo"},{"jsonrpc":"2.0","id":7.5,"method":"ping"}])",
         parseErrorUnder(R"("<fresh>")")},
    };
    ServerHarness harness;
    auto calls = registerCountingEcho(harness.server());
    auto notes = std::make_shared<int>(0);
    harness.server().registerNotificationHandler<NoteNotification>(
        [notes](Message<NoteNotification>) -> asio::awaitable<void> {
            ++*notes;
            co_return;
        });
    harness.start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(maskFreshIDs(harness.replyTo(c.message)), c.reply);
    }
    EXPECT_EQ(*notes, 0);
    EXPECT_EQ(*calls, 0);
}

}  // namespace
}  // namespace lumenary::mcp
