// Requests whose POST ended without an answer fail at once, each on its own,
// through the stream the client reads.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>

#include "mcp/client/client.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/message_classification.hpp"
#include "mcp/http_transport/canned_answers.hpp"
#include "mcp/http_transport/http_client_transport.hpp"
#include "mcp/http_transport/transport_harness.hpp"
#include "support/fake_http_endpoint.hpp"

namespace lumenary::mcp {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::CannedHTTPResponse;
using lumenary::testing::FakeHTTPEndpoint;
using lumenary::testing::ReceivedHTTPRequest;
using testing::openEventStream;
using testing::TransportHarness;

const std::string pingOne = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";
const std::string pingTwo = R"({"jsonrpc":"2.0","id":2,"method":"ping"})";
const std::string answerToOne = R"({"jsonrpc":"2.0","id":1,"result":{}})";
const std::string closedEarly = "Transport error: The server closed the event stream of this request before it answered";
const std::string unreadable = "Transport error: The server's reply to this request could not be read: ";
const std::string answerFailed = "Transport error: The server's answer to this request failed: ";

// `answerToOne`, compressed with gzip.
const std::string gzippedAnswerToOne(
    "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xab\x56\xca\x2a\xce\xcf\x2b\x2a\x48\x56\xb2\x52\x32\xd2\x33\x50\xd2"
    "\x51\xca\x4c\x51\xb2\x32\xd4\x51\x2a\x4a\x2d\x2e\xcd\x29\x51\xb2\xaa\xae\xad\x05\x00\x6c\xbd\x59\xc0\x24\x00"
    "\x00\x00",
    56);

CannedHTTPResponse endedEventStream(std::string body) {
    return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}}, .pieces = {std::move(body)}};
}

CannedHTTPResponse jsonReply(std::string body, std::vector<std::pair<std::string, std::string>> extra = {}) {
    extra.insert(extra.begin(), {"Content-Type", "application/json"});
    return CannedHTTPResponse{.headers = std::move(extra), .body = std::move(body)};
}

// The error responses among `messages`, by request id: their texts as the
// client reads them.
std::map<std::string, std::string> errorsAmong(const std::vector<std::string>& messages) {
    std::map<std::string, std::string> errors;
    for (const auto& text : messages) {
        Value message;
        try {
            message = parseJSON(text);
        } catch (const DecodingError&) {
            continue;  // the unreadable reply, handed on as it came
        }
        if (classifyMessage(message).kind != MessageKind::errorResponse) continue;
        const auto response = decodeValue<Response<AnyMethod>>(message);
        errors[response.id.description()] = response.error()->errorDescription();
    }
    return errors;
}

TEST(UnansweredRequestTest, EachRequestAPostEndedWithoutAnsweringFailsAtOnce) {
    struct Case {
        const char* name;
        std::string sent;
        CannedHTTPResponse postAnswer;
        // By id: how each failure's text begins.
        std::map<std::string, std::string> failures;
        bool answeredOnTheGetStream = false;
    };
    const std::vector<Case> cases = {
        {"primingEventOnly", pingOne, endedEventStream("id: prime-1\nretry: 500\n\n"), {{"1", closedEarly}}},
        {"notificationOnly", pingOne,
         endedEventStream(R"(data: {"jsonrpc":"2.0","method":"notifications/message","params":{"level":"info","data":1}})"
                          "\n\n"),
         {{"1", closedEarly}}},
        {"partialEvent", pingOne, endedEventStream("data: " + answerToOne.substr(0, 25)), {{"1", closedEarly}}},
        {"brokenAfterPrimingEvent", pingOne,
         CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}},
                            .pieces = {"id: prime-1\nretry: 500\n\n"},
                            .hangUpAfterPieces = true},
         {{"1", answerFailed}}},
        {"answeredThenEnded", pingOne, endedEventStream("data: " + answerToOne + "\n\n"), {}},
        {"batchWithOneOfTwoAnswered", "[" + pingOne + "," + pingTwo + "]",
         endedEventStream("data: " + answerToOne + "\n\n"), {{"2", closedEarly}}},
        {"answeredOnTheGetStreamFirst", pingOne, openEventStream({": primed\n\n"}), {}, true},
        {"replyNotUTF8", pingOne, jsonReply(R"({"jsonrpc":"2.0","id":1,"result":{"text":")" "\xff" R"("}})"),
         {{"1", unreadable}}},
        {"replyNestedAMillionDeep", pingOne, jsonReply(std::string(1'000'000, '[')), {{"1", unreadable}}},
        {"replyDeclaringTwentyDigitLength", pingOne,
         jsonReply(answerToOne, {{"Content-Length", "99999999999999999999"}}),
         {{"1", answerFailed + "Internal error: The JSON answer (declared 99999999999999999999 bytes) passed"}}},
        {"replyGzippedUnasked", pingOne, jsonReply(gzippedAnswerToOne, {{"Content-Encoding", "gzip"}}),
         {{"1", answerFailed + "Internal error: The answer is encoded (gzip), which was not asked for"}}},
    };
    for (const auto& testCase : cases) {
        std::promise<void> postArrived;
        const auto postSeen = postArrived.get_future().share();
        std::atomic<int> getCount = 0;
        FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest& request) {
            if (request.method == "GET") {
                if (!testCase.answeredOnTheGetStream || getCount++ > 0) return CannedHTTPResponse{.status = 405};
                postSeen.wait_for(testing::deadline);
                return openEventStream({"data: " + answerToOne + "\n\n"});
            }
            postArrived.set_value();
            return testCase.postAnswer;
        });
        TransportHarness harness;
        HTTPClientTransport::Options options;
        options.streaming = testCase.answeredOnTheGetStream;
        options.sseInitializationTimeout = 0ms;
        auto transport = harness.transport(endpoint.url(), options);
        harness.await(transport->connect());
        auto inbound = transport->receive();

        auto sending = harness.start(transport->send(testCase.sent));
        std::vector<std::string> messages;
        if (testCase.answeredOnTheGetStream) {
            messages.push_back(harness.nextMessage(inbound).value_or(""));
            endpoint.release();
        }
        ASSERT_EQ(sending.wait_for(testing::deadline), std::future_status::ready) << testCase.name;
        EXPECT_NO_THROW(sending.get()) << testCase.name;
        while (inbound.size() > 0) messages.push_back(harness.nextMessage(inbound).value_or(""));

        const auto errors = errorsAmong(messages);
        EXPECT_EQ(errors.size(), testCase.failures.size()) << testCase.name;
        for (const auto& [id, beginning] : testCase.failures) {
            EXPECT_TRUE(errors.contains(id) && errors.at(id).starts_with(beginning))
                << testCase.name << ": " << (errors.contains(id) ? errors.at(id) : "no error for " + id);
        }
        harness.await(transport->disconnect());
    }
}

// The operations whose failure the tests read, as the harness takes them.
asio::awaitable<void> awaitPing(PendingRequest<Ping::Result> ping) {
    co_await ping.wait();
}
asio::awaitable<void> awaitConnect(std::shared_ptr<Client> client, std::shared_ptr<Transport> transport) {
    co_await client->connect(std::move(transport));
}

// Answers the handshake, holds the GET stream back until `getMayAnswer`,
// then has it answer "b"; answers a batch POST for "a" only.
CannedHTTPResponse batchServer(const ReceivedHTTPRequest& request, std::shared_future<void> getMayAnswer) {
    const std::vector<std::pair<std::string, std::string>> session = {{"Mcp-Session-Id", "S"}};
    if (request.method == "GET") {
        getMayAnswer.wait_for(testing::deadline);
        auto stream = openEventStream({R"(data: {"jsonrpc":"2.0","id":"b","result":{}})"
                                       "\n\n"});
        stream.headers.insert(stream.headers.end(), session.begin(), session.end());
        return stream;
    }
    const auto message = parseJSON(request.body);
    if (message.arrayValue()) {
        auto stream = endedEventStream(R"(data: {"jsonrpc":"2.0","id":"a","result":{}})"
                                       "\n\n");
        stream.headers.insert(stream.headers.end(), session.begin(), session.end());
        return stream;
    }
    if (message.find("id") == nullptr) return CannedHTTPResponse{.status = 202, .headers = session};
    return jsonReply(R"({"jsonrpc":"2.0","id":)" + writeJSON(*message.find("id")) +
                         R"(,"result":{"protocolVersion":"2025-03-26","capabilities":{},)"
                         R"("serverInfo":{"name":"batching","version":"1"}}})",
                     session);
}

TEST(UnansweredRequestTest, ABatchAnsweredInPartFailsOnlyTheOtherRequestAndDropsItsLateAnswer) {
    std::promise<void> getMayAnswer;
    FakeHTTPEndpoint endpoint([getMayAnswer = getMayAnswer.get_future().share()](const ReceivedHTTPRequest& request) {
        return batchServer(request, getMayAnswer);
    });
    TransportHarness harness;
    HTTPClientTransport::Options options;
    options.listenerMinimumInterval = 10s;
    auto transport = harness.transport(endpoint.url(), options);
    auto client = Client::create(harness.executor(), "batching-client", "1.0");
    harness.await(client->connect(transport));

    std::vector<PendingRequest<Ping::Result>> pings;
    harness.await(client->withBatch([&pings](Client::Batch& batch) -> asio::awaitable<void> {
        pings.push_back(co_await batch.addRequest(Request<Ping>(ID("a"), Empty{})));
        pings.push_back(co_await batch.addRequest(Request<Ping>(ID("b"), Empty{})));
    }));
    EXPECT_NO_THROW(harness.await(pings.at(0).wait()));
    EXPECT_EQ(harness.failureText(awaitPing(pings.at(1))), closedEarly);

    getMayAnswer.set_value();
    EXPECT_TRUE(testing::eventually(
        [&] { return harness.records->count("Dropped a late answer to a request that had already failed") == 1; }));
    harness.await(client->disconnect());
    endpoint.release();
}

TEST(UnansweredRequestTest, ConnectFailsAtOnceWhenTheReplyToInitializeCannotBeRead) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) { return jsonReply("{\"jsonrpc\":\"2.0\xff"); });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), testing::postsOnly());
    auto client = Client::create(harness.executor(), "patient-client", "1.0");
    const auto failure = harness.failureText(awaitConnect(client, transport));
    EXPECT_TRUE(failure.starts_with(unreadable)) << failure;
    harness.await(client->disconnect());
}

}  // namespace
}  // namespace lumenary::mcp
