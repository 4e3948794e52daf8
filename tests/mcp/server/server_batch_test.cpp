// Batches: arrays of requests and notifications, answered by one array.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "mcp/server/server_harness.hpp"
#include "mcp/server/tool_methods.hpp"

namespace lumenary::mcp {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Handlers that log every call, in order, so a test sees what ran.
struct LoggingHandlers {
    std::shared_ptr<std::vector<std::string>> calls = std::make_shared<std::vector<std::string>>();

    void registerOn(Server& server) const {
        server.registerMethodHandler<EchoMethod>([calls = calls](Value params) -> asio::awaitable<Value> {
            calls->push_back("echo " + writeJSON(params));
            co_return params;
        });
        server.registerNotificationHandler<NoteNotification>(
            [calls = calls](Message<NoteNotification> message) -> asio::awaitable<void> {
                calls->push_back("note " + writeJSON(message.params));
                co_return;
            });
        server.registerMethodHandler<CallTool>(
            [calls = calls](CallTool::Parameters parameters) -> asio::awaitable<CallTool::Result> {
                calls->push_back("call " + parameters.name);
                throw std::runtime_error("tool " + parameters.name + " broke");
                co_return CallTool::Result{};
            });
    }
};

std::string batchInvalidRequestReply(const std::string& id, const std::string& detail) {
    return R"({"error":{"code":-32600,"data":{"detail":")" + detail + R"("},"message":"Invalid Request: )" + detail +
           R"("},"id":)" + id + R"(,"jsonrpc":"2.0"})";
}

TEST(ServerBatch, TwoRequestsAreAnsweredByOneArrayInOrder) {
    ServerHarness harness;
    const LoggingHandlers handlers;
    handlers.registerOn(harness.server());
    harness.start();

    EXPECT_EQ(harness.replyTo(R"([{"jsonrpc":"2.0","id":1,"method":"ping"},)"
                              R"({"jsonrpc":"2.0","id":2,"method":"test/echo","params":"a/b"}])"),
              R"([{"id":1,"jsonrpc":"2.0","result":{}},{"id":2,"jsonrpc":"2.0","result":"a/b"}])");
}

TEST(ServerBatch, ARequestAndANotificationAreAnsweredByAnArrayOfOne) {
    ServerHarness harness;
    const LoggingHandlers handlers;
    handlers.registerOn(harness.server());
    harness.start();

    EXPECT_EQ(harness.replyTo(R"([{"jsonrpc":"2.0","method":"test/note","params":1},)"
                              R"({"jsonrpc":"2.0","id":"r","method":"test/echo","params":2}])"),
              R"([{"id":"r","jsonrpc":"2.0","result":2}])");
    EXPECT_THAT(*handlers.calls, ElementsAre("note 1", "echo 2"));
}

TEST(ServerBatch, NotificationsOnlyRunInOrderAndProduceNoOutput) {
    ServerHarness harness;
    const LoggingHandlers handlers;
    handlers.registerOn(harness.server());
    harness.start();

    EXPECT_THAT(harness.repliesTo({R"([{"jsonrpc":"2.0","method":"test/note","params":1},)"
                                   R"({"jsonrpc":"2.0","method":"notifications/unknown"},)"
                                   R"({"jsonrpc":"2.0","method":"test/note","params":2}])"}),
                IsEmpty());
    EXPECT_THAT(*handlers.calls, ElementsAre("note 1", "note 2"));
}

TEST(ServerBatch, AnItemWithANullIDIsARequestWithTheEmptyStringID) {
    ServerHarness harness;
    harness.start();

    EXPECT_EQ(harness.replyTo(R"([{"jsonrpc":"2.0","id":null,"method":"ping"}])"),
              R"([{"id":"","jsonrpc":"2.0","result":{}}])");
}

TEST(ServerBatch, ItemsRunOneAfterAnotherInArrayOrder) {
    ServerHarness harness;
    const LoggingHandlers handlers;
    handlers.registerOn(harness.server());
    harness.start();

    harness.replyTo(R"([{"jsonrpc":"2.0","id":1,"method":"test/echo","params":"a"},)"
                    R"({"jsonrpc":"2.0","method":"test/note","params":"b"},)"
                    R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"c"}},)"
                    R"({"jsonrpc":"2.0","id":3,"method":"test/echo","params":"d"}])");

    EXPECT_THAT(*handlers.calls, ElementsAre(R"(echo "a")", R"(note "b")", "call c", R"(echo "d")"));
}

TEST(ServerBatch, EachRequestItemsErrorTakesItsPlaceInTheArray) {
    ServerHarness harness;
    const LoggingHandlers handlers;
    handlers.registerOn(harness.server());
    harness.start();

    EXPECT_EQ(harness.replyTo(R"([{"jsonrpc":"2.0","id":1,"method":"tools/missing"},)"
                              R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"x"}},)"
                              R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":false}},)"
                              R"({"jsonrpc":"2.0","id":4,"method":""},)"
                              R"({"jsonrpc":"2.0","id":5,"method":"test/echo","params":null}])"),
              R"([{"error":{"code":-32601,"data":{"detail":"Unknown method: tools/missing"},)"
              R"("message":"Method not found: Unknown method: tools/missing"},"id":1,"jsonrpc":"2.0"},)"
              R"({"error":{"code":-32603,"data":{"detail":"tool x broke"},"message":"Internal error: tool x broke"},)"
              R"("id":2,"jsonrpc":"2.0"},)"
              R"({"error":{"code":-32603,"data":{"detail":"Invalid params field"},)"
              R"("message":"Internal error: Invalid params field"},"id":3,"jsonrpc":"2.0"},)" +
                  batchInvalidRequestReply("4", "Invalid batch item format") +
                  R"(,{"id":5,"jsonrpc":"2.0","result":null}])");
    EXPECT_EQ(harness.logCount("Error processing message"), 0u);
}

TEST(ServerBatch, AnEmptyMethodItemIsRefusedWithoutBeingLoggedOrDispatched) {
    ServerHarness harness;
    harness.start();

    EXPECT_EQ(harness.replyTo(R"([{"jsonrpc":"2.0","id":"e","method":""}])"),
              "[" + batchInvalidRequestReply(R"("e")", "Invalid batch item format") + "]");
    // Only the marker ping was processed as a request.
    EXPECT_EQ(harness.logCount("Processing request"), 1u);
}

TEST(ServerBatch, OneMalformedElementMakesTheWholeMessageAParseErrorAndNothingRuns) {
    const std::vector<std::string> malformed = {
        R"({"jsonrpc":"2.0","id":9,"result":{}})",
        R"({"id":9,"method":"test/echo"})",
        R"({"jsonrpc":"1.0","method":"test/note"})",
        R"({"jsonrpc":"2.0","id":true,"method":"test/echo"})",
        R"({"jsonrpc":"2.0"})",
        "3",
        R"("test/note")",
        "null",
        "[]",
    };
    for (const auto& element : malformed) {
        SCOPED_TRACE(element);
        ServerHarness harness;
        const LoggingHandlers handlers;
        handlers.registerOn(harness.server());
        harness.start();

        EXPECT_EQ(maskFreshIDs(harness.replyTo(R"([{"jsonrpc":"2.0","id":1,"method":"test/echo","params":1},)" +
                                               element + R"(,{"jsonrpc":"2.0","method":"test/note","params":2}])")),
                  R"({"error":{"code":-32700,"data":{"detail":"Invalid message format"},)"
                  R"("message":"Parse error: Invalid JSON: Invalid message format"},"id":"<fresh>","jsonrpc":"2.0"})");
        EXPECT_THAT(*handlers.calls, IsEmpty());
        EXPECT_EQ(harness.logCount("Processing batch request"), 0u);
    }
}

TEST(ServerBatch, AnEmptyArrayIsAnsweredByASingleObject) {
    ServerHarness harness;
    harness.start();

    EXPECT_EQ(maskFreshIDs(harness.replyTo("[]")),
              batchInvalidRequestReply(R"("<fresh>")", "Batch array must not be empty"));
    EXPECT_EQ(harness.logCount("Error processing message"), 0u);
}

TEST(ServerBatch, StrictRejectionsOfItemsStayInsideTheArray) {
    ServerHarness harness(ServerConfiguration::strictConfiguration());
    const LoggingHandlers handlers;
    handlers.registerOn(harness.server());
    harness.start();

    EXPECT_EQ(
        harness.replyTo(R"([{"jsonrpc":"2.0","id":1,"method":"test/echo","params":1},)"
                        R"({"jsonrpc":"2.0","method":"test/note","params":2},)"
                        R"({"jsonrpc":"2.0","id":2,"method":"ping"}])"),
        "[" + batchInvalidRequestReply("1", "Server is not initialized") + R"(,{"id":2,"jsonrpc":"2.0","result":{}}])");
    EXPECT_THAT(*handlers.calls, IsEmpty());
    EXPECT_EQ(harness.logCount("Error processing message"), 0u);
}

TEST(ServerBatch, AnInitializeItemOpensTheStrictRuleForTheItemsAfterIt) {
    ServerHarness harness(ServerConfiguration::strictConfiguration());
    const LoggingHandlers handlers;
    handlers.registerOn(harness.server());
    harness.start();

    EXPECT_EQ(harness.replyTo(R"([{"jsonrpc":"2.0","id":1,"method":"test/echo","params":1},)"
                              R"({"jsonrpc":"2.0","id":2,"method":"initialize","params":{}},)"
                              R"({"jsonrpc":"2.0","id":3,"method":"test/echo","params":3}])"),
              "[" + batchInvalidRequestReply("1", "Server is not initialized") +
                  R"(,{"id":2,"jsonrpc":"2.0","result":{"capabilities":{"tools":{"listChanged":true}},)"
                  R"("protocolVersion":"2025-03-26","serverInfo":{"name":"lumenary-test","version":"1.2.3"}}},)"
                  R"({"id":3,"jsonrpc":"2.0","result":3}])");
    EXPECT_THAT(*handlers.calls, ElementsAre("echo 3"));
}

TEST(ServerBatch, IsLoggedWithItsSize) {
    ServerHarness harness;
    harness.start();

    harness.replyTo(R"([{"jsonrpc":"2.0","id":1,"method":"ping"},{"jsonrpc":"2.0","method":"test/note"},)"
                    R"({"jsonrpc":"2.0","id":2,"method":"x"}])");
    harness.replyTo("[]");

    std::vector<logging::Metadata> sizes;
    for (const auto& entry : harness.transport().recordsWithMessage("Processing batch request")) {
        EXPECT_EQ(entry.level, logging::LogLevel::trace);
        EXPECT_EQ(entry.source, "MCP");
        sizes.push_back(entry.metadata.value_or(logging::Metadata{}));
    }
    EXPECT_THAT(sizes, ElementsAre(logging::Metadata{{"size", "3"}}, logging::Metadata{{"size", "0"}}));
    EXPECT_EQ(harness.logCount("Processing notification"), 1u);
}

TEST(ServerBatch, AFailedReplyArrayIsLoggedAndAnsweredUnderAFreshID) {
    ServerHarness harness;
    harness.start();
    harness.transport().failSends(std::make_exception_ptr(std::runtime_error("pipe closed")));

    harness.transport().deliver(R"([{"jsonrpc":"2.0","id":1,"method":"ping"}])");
    // The array, then the loop's own error reply.
    ASSERT_TRUE(harness.runUntil([&] { return harness.transport().sendAttempts() == 2; }));
    harness.transport().failSends(nullptr);

    EXPECT_EQ(harness.replyTo(R"({"jsonrpc":"2.0","id":2,"method":"ping"})"),
              R"({"id":2,"jsonrpc":"2.0","result":{}})");
    EXPECT_EQ(harness.transport().sendAttempts(), 4u);
    const auto logged = harness.transport().recordsWithMessage("Error processing message");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].metadata, (logging::Metadata{{"error", "pipe closed"}}));
}

}  // namespace
}  // namespace lumenary::mcp
