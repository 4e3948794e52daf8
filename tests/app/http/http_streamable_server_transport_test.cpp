#include "app/http/http_streamable_server_transport.hpp"

#include <gtest/gtest.h>

#include <future>
#include <memory>

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>

#include "async/context_runner.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/message_classification.hpp"

namespace lumenary::http {
namespace {

using async::test::isReady;
using async::test::runToEnd;
using async::test::runUntil;

// A reply text sent as the server sends it: carrying the ids of the replies
// in it.
mcp::SentMessage asTheServerSendsIt(std::string text) {
    const mcp::Value value = mcp::parseJSON(text);
    if (const auto* replies = value.arrayValue()) {
        std::vector<mcp::ID> ids;
        for (const auto& reply : *replies) {
            ids.push_back(*mcp::classifyMessage(reply).id);
        }
        return mcp::SentMessage::batchReply(std::move(text), std::move(ids));
    }
    const auto classification = mcp::classifyMessage(value);
    if (classification.kind == mcp::MessageKind::response || classification.kind == mcp::MessageKind::errorResponse) {
        return mcp::SentMessage::reply(std::move(text), *classification.id);
    }
    return text;
}

// A transport with a recording broadcaster, driven on the test's thread.
class SessionTransport : public ::testing::Test {
protected:
    SessionTransport() {
        transport->setBroadcaster([broadcast = broadcast](std::string message) -> asio::awaitable<void> {
            broadcast->push_back(std::move(message));
            co_return;
        });
        runToEnd(io, transport->connect());
    }
    // An exchange left waiting holds itself alive until it is failed.
    ~SessionTransport() override { runToEnd(io, transport->disconnect()); }

    std::future<std::optional<std::string>> post(std::string body) {
        auto future = asio::co_spawn(io, transport->exchange(std::move(body)), asio::use_future);
        async::test::runReady(io);
        return future;
    }
    std::string nextIncoming() { return runToEnd(io, messages.next())->text; }
    void reply(std::string message) { send(asTheServerSendsIt(std::move(message))); }
    void send(mcp::SentMessage message) { runToEnd(io, transport->send(std::move(message))); }

    asio::io_context io;
    std::shared_ptr<HTTPStreamableServerTransport> transport = HTTPStreamableServerTransport::create();
    async::Queue<mcp::ReceivedMessage> messages = transport->receive();
    std::shared_ptr<std::vector<std::string>> broadcast = std::make_shared<std::vector<std::string>>();
};

TEST_F(SessionTransport, ParksARequestUntilTheReplyWithItsIdInItsForm) {
    auto byString = post(R"({"jsonrpc":"2.0","id":"7","method":"ping"})");
    auto byNumber = post(R"({"jsonrpc":"2.0","id":7.0,"method":"ping"})");
    EXPECT_EQ(nextIncoming(), R"({"jsonrpc":"2.0","id":"7","method":"ping"})");
    EXPECT_EQ(nextIncoming(), R"({"jsonrpc":"2.0","id":7.0,"method":"ping"})");

    reply(R"({"id":7,"jsonrpc":"2.0","result":{}})");
    ASSERT_TRUE(runUntil(io, [&] { return isReady(byNumber); }));
    EXPECT_EQ(byNumber.get(), R"({"id":7,"jsonrpc":"2.0","result":{}})");
    EXPECT_FALSE(isReady(byString));

    reply(R"({"id":"7","jsonrpc":"2.0","result":{}})");
    ASSERT_TRUE(runUntil(io, [&] { return isReady(byString); }));
    EXPECT_TRUE(broadcast->empty());
}

TEST_F(SessionTransport, ParksEachMessageUnderTheIdTheServerAnswersItUnder) {
    struct Case {
        std::string id;
        std::optional<std::string> answeredUnder;  // the reply's "id", or answered at once
    };
    const std::vector<Case> cases{
        {R"("abc")", R"("abc")"},
        {R"("7")", R"("7")"},
        {"7", "7"},
        {"7.0", "7"},
        {"1e3", "1000"},
        {"-9223372036854775808", "-9223372036854775808"},
        {"null", R"("")"},
        {"9223372036854775808", std::nullopt},
        {"7.5", std::nullopt},
        {"true", std::nullopt},
        {"{}", std::nullopt},
    };
    for (const auto& test : cases) {
        const std::string body = R"({"jsonrpc":"2.0","id":)" + test.id + R"(,"method":"ping"})";
        auto answer = post(body);
        EXPECT_EQ(nextIncoming(), body);
        if (!test.answeredUnder) {
            ASSERT_TRUE(runUntil(io, [&] { return isReady(answer); })) << body;
            EXPECT_EQ(answer.get(), std::nullopt) << body;
            continue;
        }
        const std::string replyText = R"({"id":)" + *test.answeredUnder + R"(,"jsonrpc":"2.0","result":{}})";
        EXPECT_FALSE(isReady(answer)) << body;
        reply(replyText);
        ASSERT_TRUE(runUntil(io, [&] { return isReady(answer); })) << body;
        EXPECT_EQ(answer.get(), replyText) << body;
    }
    EXPECT_TRUE(broadcast->empty());
}

TEST_F(SessionTransport, HandsTheServerTheValueItParsed) {
    auto answer = post(R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
    const auto message = runToEnd(io, messages.next());
    ASSERT_TRUE(message && message->parsed);
    EXPECT_EQ(*message->parsed->find("method")->stringValue(), "notifications/initialized");
}

TEST_F(SessionTransport, AnswersNotificationsAtOnceAndBroadcastsWhatAnswersNoExchange) {
    const std::string notification = R"({"jsonrpc":"2.0","method":"notifications/initialized"})";
    auto answer = post(notification);
    ASSERT_TRUE(runUntil(io, [&] { return isReady(answer); }));
    EXPECT_EQ(answer.get(), std::nullopt);
    EXPECT_EQ(nextIncoming(), notification);
    reply(R"({"id":"","jsonrpc":"2.0","result":{}})");
    reply(R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})");
    EXPECT_EQ(*broadcast,
              (std::vector<std::string>{R"({"id":"","jsonrpc":"2.0","result":{}})",
                                        R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})"}));
}

TEST_F(SessionTransport, AnExchangeGivenUpDropsItsReplyAndFreesItsIdWhenTheReplyComes) {
    const std::string request = R"({"jsonrpc":"2.0","id":7,"method":"tools/call"})";
    asio::cancellation_signal giveUp;
    auto abandoned = asio::co_spawn(io, transport->exchange(request),
                                    asio::bind_cancellation_slot(giveUp.slot(), asio::use_future));
    async::test::runReady(io);
    giveUp.emit(asio::cancellation_type::terminal);
    ASSERT_TRUE(runUntil(io, [&] { return isReady(abandoned); }));
    EXPECT_THROW(abandoned.get(), asio::system_error);

    auto refused = post(request);
    ASSERT_TRUE(runUntil(io, [&] { return isReady(refused); }));
    EXPECT_THROW(refused.get(), RefusedMessage);

    reply(R"({"id":7,"jsonrpc":"2.0","result":{}})");
    EXPECT_TRUE(broadcast->empty());
    auto again = post(request);
    reply(R"({"id":7,"jsonrpc":"2.0","result":{"again":true}})");
    ASSERT_TRUE(runUntil(io, [&] { return isReady(again); }));
    EXPECT_EQ(again.get(), R"({"id":7,"jsonrpc":"2.0","result":{"again":true}})");
}

TEST_F(SessionTransport, AnswersABatchWithTheArrayOfItsReplies) {
    auto batch = post(R"([{"jsonrpc":"2.0","id":1,"method":"ping"},{"jsonrpc":"2.0","method":"note"},)"
                      R"({"jsonrpc":"2.0","id":"b","method":"ping"}])");
    auto notifications = post(R"([{"jsonrpc":"2.0","method":"note"}])");
    ASSERT_TRUE(runUntil(io, [&] { return isReady(notifications); }));
    EXPECT_EQ(notifications.get(), std::nullopt);

    reply(R"([{"id":"b","jsonrpc":"2.0","result":{}},{"id":2,"jsonrpc":"2.0","result":{}}])");
    EXPECT_FALSE(isReady(batch));
    reply(R"([{"id":"b","jsonrpc":"2.0","result":{}},{"id":1,"jsonrpc":"2.0","result":{}}])");
    ASSERT_TRUE(runUntil(io, [&] { return isReady(batch); }));
    EXPECT_EQ(batch.get(), R"([{"id":"b","jsonrpc":"2.0","result":{}},{"id":1,"jsonrpc":"2.0","result":{}}])");
    EXPECT_EQ(broadcast->size(), 1u);
}

TEST_F(SessionTransport, RoutesWhatTheServerSendsByTheIdsItCarriesNeverByItsText) {
    struct Case {
        std::string request;
        mcp::SentMessage sent;
        bool reachesTheExchange;
    };
    const std::vector<Case> cases{
        {R"({"jsonrpc":"2.0","id":1,"method":"ping"})", mcp::SentMessage::reply("not JSON at all", mcp::ID(1)), true},
        {R"({"jsonrpc":"2.0","id":"2","method":"ping"})", mcp::SentMessage::reply("two", mcp::ID("2")), true},
        {R"([{"jsonrpc":"2.0","id":3,"method":"ping"},{"jsonrpc":"2.0","id":"c","method":"ping"}])",
         mcp::SentMessage::batchReply("[replies]", {mcp::ID("c"), mcp::ID(3)}), true},
        {R"({"jsonrpc":"2.0","id":4,"method":"ping"})", mcp::SentMessage(R"({"id":4,"jsonrpc":"2.0","result":{}})"),
         false},
        {R"({"jsonrpc":"2.0","id":5,"method":"ping"})", mcp::SentMessage::reply("five", mcp::ID("5")), false},
        {R"([{"jsonrpc":"2.0","id":6,"method":"ping"}])", mcp::SentMessage::reply("six", mcp::ID(6)), false},
        {R"({"jsonrpc":"2.0","id":7,"method":"ping"})", mcp::SentMessage::batchReply("[seven]", {mcp::ID(7)}), false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.sent.text);
        auto answer = post(test.request);
        EXPECT_EQ(nextIncoming(), test.request);
        broadcast->clear();
        send(test.sent);
        if (test.reachesTheExchange) {
            ASSERT_TRUE(runUntil(io, [&] { return isReady(answer); }));
            EXPECT_EQ(answer.get(), test.sent.text);
            EXPECT_TRUE(broadcast->empty());
        } else {
            EXPECT_EQ(*broadcast, std::vector<std::string>{test.sent.text});
            EXPECT_FALSE(isReady(answer));
        }
    }
}

TEST_F(SessionTransport, RefusesInputNoExchangeCouldBeAnsweredFor) {
    auto pending = post(R"({"jsonrpc":"2.0","id":1,"method":"ping"})");
    struct Case {
        std::string body;
        std::int64_t code;
    };
    for (const auto& [body, code] : std::vector<Case>{{"{not json", -32700},
                                                      {"", -32700},
                                                      {"[]", -32600},
                                                      {"[1,2]", -32600},
                                                      {R"({"jsonrpc":"2.0","id":1,"method":"ping"})", -32600}}) {
        auto refused = post(body);
        ASSERT_TRUE(runUntil(io, [&] { return isReady(refused); }));
        try {
            refused.get();
            ADD_FAILURE() << "accepted " << body;
        } catch (const RefusedMessage& error) {
            EXPECT_EQ(error.error().code(), code) << body;
        }
    }
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_FALSE(isReady(pending));
}

TEST_F(SessionTransport, DisconnectFailsEveryWaitingExchangeAndLaterOnes) {
    auto first = post(R"({"jsonrpc":"2.0","id":1,"method":"ping"})");
    auto second = post(R"([{"jsonrpc":"2.0","id":2,"method":"ping"}])");
    runToEnd(io, transport->disconnect());
    runToEnd(io, transport->disconnect());
    for (auto* exchange : {&first, &second}) {
        ASSERT_TRUE(runUntil(io, [&] { return isReady(*exchange); }));
        try {
            exchange->get();
            ADD_FAILURE() << "an exchange survived the disconnect";
        } catch (const mcp::MCPError& error) {
            EXPECT_STREQ(error.what(), "Internal error: Transport disconnected");
        }
    }
    auto late = post(R"({"jsonrpc":"2.0","id":3,"method":"ping"})");
    ASSERT_TRUE(runUntil(io, [&] { return isReady(late); }));
    EXPECT_THROW(late.get(), mcp::MCPError);
    EXPECT_THROW(runToEnd(io, transport->connect()), mcp::MCPError);
}

// The server's copy of the queue outlives the session a while; the bodies
// it will never handle must not stay charged for as long.
TEST_F(SessionTransport, DisconnectDropsTheMessagesTheServerHasNotTakenAndTheirCharge) {
    auto charge = std::make_shared<int>(0);
    const std::weak_ptr<const void> watched = charge;
    EXPECT_FALSE(transport->handIn(R"({"jsonrpc":"2.0","method":"note"})", std::move(charge)));
    ASSERT_EQ(messages.size(), 1u);
    ASSERT_FALSE(watched.expired());

    runToEnd(io, transport->disconnect());
    EXPECT_TRUE(watched.expired());
    EXPECT_EQ(messages.weight(), 0u);
    EXPECT_FALSE(runToEnd(io, messages.next()));
}

TEST(SessionTransportLimits, RefusesInputWhileTooMuchWaitsForTheServer) {
    asio::io_context io;
    auto transport = HTTPStreamableServerTransport::create({.maximumQueuedMessages = 2, .maximumQueuedBytes = 100});
    const std::string note = R"({"jsonrpc":"2.0","method":"note"})";
    EXPECT_EQ(runToEnd(io, transport->exchange(note)), std::nullopt);
    EXPECT_EQ(runToEnd(io, transport->exchange(note)), std::nullopt);
    try {
        runToEnd(io, transport->exchange(note));
        ADD_FAILURE() << "a third message was queued";
    } catch (const RefusedMessage& refused) {
        EXPECT_EQ(refused.status(), 503);
    }
    EXPECT_TRUE(runToEnd(io, transport->receive().next()));
    EXPECT_THROW(
        runToEnd(io, transport->exchange(R"({"jsonrpc":"2.0","method":")" + std::string(80, 'x') + R"("})")),
        RefusedMessage);
    EXPECT_EQ(runToEnd(io, transport->exchange(note)), std::nullopt);
}

TEST(SessionTransportLifetime, DisconnectBeforeConnectStillFailsWaitingExchanges) {
    asio::io_context io;
    auto transport = HTTPStreamableServerTransport::create();
    auto waiting =
        asio::co_spawn(io, transport->exchange(R"({"jsonrpc":"2.0","id":1,"method":"ping"})"), asio::use_future);
    async::test::runReady(io);
    runToEnd(io, transport->disconnect());
    ASSERT_TRUE(runUntil(io, [&] { return isReady(waiting); }));
    EXPECT_THROW(waiting.get(), mcp::MCPError);
}

}  // namespace
}  // namespace lumenary::http
