#include "mcp/http_transport/http_client_transport.hpp"

#include <gtest/gtest.h>

#include "mcp/http_transport/canned_answers.hpp"
#include "mcp/http_transport/transport_harness.hpp"
#include "support/fake_http_endpoint.hpp"

namespace lumenary::mcp {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::CannedHTTPResponse;
using lumenary::testing::FakeHTTPEndpoint;
using lumenary::testing::ReceivedHTTPRequest;
using testing::postsOnly;
using testing::TransportHarness;

CannedHTTPResponse json(std::string body, std::vector<std::pair<std::string, std::string>> extra = {}) {
    extra.emplace_back("Content-Type", "application/json");
    return CannedHTTPResponse{.status = 200, .headers = std::move(extra), .body = std::move(body)};
}

TEST(HTTPClientTransportTest, SendBeforeConnectFailsAndSendsNothing) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) { return json("{}"); });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), postsOnly());
    EXPECT_EQ(harness.failureText(transport->send("{}")), "Internal error: Transport not connected");
    EXPECT_TRUE(endpoint.requests().empty());
}

TEST(HTTPClientTransportTest, PostsCarryTheHeadersAndTheSessionIdTheServerNamed) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        return json(R"({"echo":)" + request.body + "}", {{"mcp-session-id", "S-" + request.body}});
    });
    TransportHarness harness;
    auto options = postsOnly();
    options.requestModifier = [](http_client::HTTPClientRequest request) {
        request.headers.add("Authorization", "Bearer token");
        return request;
    };
    auto transport = harness.transport(endpoint.url(), options);
    harness.await(transport->connect());
    harness.await(transport->send("1"));
    harness.await(transport->send("2"));

    const auto requests = endpoint.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, "/mcp");
        EXPECT_EQ(request.header("accept"), "application/json, text/event-stream");
        EXPECT_EQ(request.header("content-type"), "application/json");
        EXPECT_EQ(request.header("authorization"), "Bearer token");
    }
    EXPECT_EQ(requests[0].header("mcp-session-id"), std::nullopt);
    EXPECT_EQ(requests[1].header("mcp-session-id"), "S-1");
    // A later id replaces the first.
    EXPECT_EQ(harness.await(transport->sessionID()), "S-2");
    auto inbound = transport->receive();
    EXPECT_EQ(harness.nextMessage(inbound), R"({"echo":1})");
    EXPECT_EQ(harness.nextMessage(inbound), R"({"echo":2})");
    harness.await(transport->disconnect());
}

TEST(HTTPClientTransportTest, EachFailedStatusFailsTheSendWithItsText) {
    struct Case {
        int status;
        std::string contentType;
        bool streaming;
        std::string text;
    };
    const std::vector<Case> cases = {
        {400, "", false, "Internal error: Bad request"},
        {401, "", false, "Internal error: Authentication required"},
        {403, "", false, "Internal error: Access forbidden"},
        {404, "", false, "Internal error: Endpoint not found"},
        {405, "", true, "Internal error: Server does not support streaming"},
        {405, "", false, "Internal error: Method not allowed"},
        {408, "", false, "Internal error: Request timeout"},
        {429, "", false, "Internal error: Too many requests"},
        {500, "", false, "Internal error: Server error: 500"},
        {503, "", false, "Internal error: Server error: 503"},
        {302, "text/html", false, "Internal error: Unexpected HTTP response: 302 (text/html)"},
        {418, "", false, "Internal error: Unexpected HTTP response: 418 ()"},
    };
    for (const auto& testCase : cases) {
        FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest& request) {
            if (request.method == "GET") return CannedHTTPResponse{.status = 405};
            CannedHTTPResponse response{.status = testCase.status, .body = "{}"};
            if (!testCase.contentType.empty()) response.headers.emplace_back("Content-Type", testCase.contentType);
            return response;
        });
        TransportHarness harness;
        auto options = postsOnly();
        options.streaming = testCase.streaming;
        auto transport = harness.transport(endpoint.url(), options);
        harness.await(transport->connect());
        EXPECT_EQ(harness.failureText(transport->send("{}")), testCase.text) << testCase.status;
        harness.await(transport->disconnect());
    }
}

TEST(HTTPClientTransportTest, SessionIdIsStoredBeforeTheStatusIsLookedAt) {
    // 1: the session is named on a 400; 2: 404 with it known expires it;
    // 3: no id is sent and a 404 is a missing endpoint; 4: a 404 naming a
    // session expires it at once.
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        if (request.body == "1") return CannedHTTPResponse{.status = 400, .headers = {{"Mcp-Session-Id", "S-1"}}};
        if (request.body == "4") return CannedHTTPResponse{.status = 404, .headers = {{"Mcp-Session-Id", "S-4"}}};
        return CannedHTTPResponse{.status = 404};
    });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), postsOnly());
    harness.await(transport->connect());

    EXPECT_EQ(harness.failureText(transport->send("1")), "Internal error: Bad request");
    EXPECT_EQ(harness.await(transport->sessionID()), "S-1");
    EXPECT_EQ(harness.failureText(transport->send("2")), "Internal error: Session expired");
    EXPECT_EQ(harness.await(transport->sessionID()), std::nullopt);
    EXPECT_TRUE(harness.records->find("Session has expired"));
    EXPECT_EQ(harness.failureText(transport->send("3")), "Internal error: Endpoint not found");
    EXPECT_EQ(harness.failureText(transport->send("4")), "Internal error: Session expired");

    const auto requests = endpoint.requests();
    EXPECT_EQ(requests[1].header("mcp-session-id"), "S-1");
    EXPECT_EQ(requests[2].header("mcp-session-id"), std::nullopt);
    EXPECT_EQ(harness.records->count("Session has expired"), 2u);
    harness.await(transport->disconnect());
}

TEST(HTTPClientTransportTest, AnswersAreYieldedByTheirMediaType) {
    struct Case {
        const char* name;
        CannedHTTPResponse response;
        std::vector<std::string> messages;
        std::string failure;  // empty: the send succeeds
        bool warned;
    };
    const std::vector<Case> cases = {
        {"json", json(R"({"a":1})"), {R"({"a":1})"}, "", false},
        {"jsonWithCharsetAndEmptyBody",
         CannedHTTPResponse{.headers = {{"Content-Type", "Application/JSON; charset=utf-8"}}},
         {""},
         "",
         false},
        {"eventStreamInCapitalsWithParameters",
         CannedHTTPResponse{.headers = {{"Content-Type", "Text/Event-Stream; charset=utf-8"}},
                            .body = "event: ping\ndata: a\n\ndata:\n\nid: 3\ndata: b\n\n"},
         {"a", "b"},
         "",
         false},
        {"acceptedWithoutContentType", CannedHTTPResponse{.status = 202}, {}, "", true},
        {"noContentWithoutContentType", CannedHTTPResponse{.status = 204}, {}, "", true},
        {"emptyBodyOfAnotherType", CannedHTTPResponse{.headers = {{"Content-Type", "text/plain"}}}, {}, "", true},
        {"bodyOfAnotherType",
         CannedHTTPResponse{.headers = {{"Content-Type", "text/html"}}, .body = "<html>"},
         {},
         "Internal error: Unexpected content type: text/html",
         false},
    };
    for (const auto& testCase : cases) {
        FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) { return testCase.response; });
        TransportHarness harness;
        auto transport = harness.transport(endpoint.url(), postsOnly());
        harness.await(transport->connect());
        const auto failure = harness.failureText(transport->send("{}"));
        EXPECT_EQ(failure, testCase.failure.empty() ? "no failure" : testCase.failure) << testCase.name;
        harness.await(transport->disconnect());

        std::vector<std::string> messages;
        while (auto message = harness.nextMessage(transport->receive())) messages.push_back(*message);
        EXPECT_EQ(messages, testCase.messages) << testCase.name;
        EXPECT_EQ(harness.records->count("Unexpected content type: ") > 0, testCase.warned) << testCase.name;
    }
}

TEST(HTTPClientTransportTest, EventStreamAnswerIsReadInsideSendAndEachEventArrivesAtOnce) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) {
        return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}},
                                  .pieces = {"data: a\n", "\n", "event: ping\ndata: b\n\n"},
                                  .pieceDelay = 2ms,
                                  .heldOpenAfterPieces = true};
    });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), postsOnly());
    harness.await(transport->connect());
    auto sending = harness.start(transport->send("{}"));
    auto inbound = transport->receive();
    EXPECT_EQ(harness.nextMessage(inbound), "a");
    EXPECT_EQ(harness.nextMessage(inbound), "b");
    EXPECT_NE(sending.wait_for(0s), std::future_status::ready);
    endpoint.release();
    ASSERT_EQ(sending.wait_for(testing::deadline), std::future_status::ready);
    sending.get();
    harness.await(transport->disconnect());
}

TEST(HTTPClientTransportTest, OversizedAnswersFailTheirSend) {
    struct Case {
        const char* name;
        CannedHTTPResponse response;
    };
    const std::string big(300, 'x');
    const std::vector<Case> cases = {
        {"json", json("\"" + big + "\"")},
        {"eventLine", CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}},
                                         .body = "data: " + big + "\n\n"}},
        {"eventData", CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}},
                                         .body = "data: " + big.substr(0, 150) + "\ndata: " + big.substr(0, 150) +
                                                 "\n\n"}},
    };
    for (const auto& testCase : cases) {
        FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) { return testCase.response; });
        TransportHarness harness;
        auto options = postsOnly();
        options.maximumMessageBytes = 256;
        auto transport = harness.transport(endpoint.url(), options);
        harness.await(transport->connect());
        EXPECT_TRUE(harness.failureText(transport->send("{}")).ends_with("passed 256 bytes")) << testCase.name;
        harness.await(transport->disconnect());
    }
}

TEST(HTTPClientTransportTest, ASecondPostIsAnsweredWhileTheFirstEventStreamIsOpen) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        if (request.body == "first") {
            return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}},
                                      .pieces = {"data: question\n\n"},
                                      .heldOpenAfterPieces = true};
        }
        return json("reply to " + request.body);
    });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), postsOnly());
    harness.await(transport->connect());
    auto first = harness.start(transport->send("first"));
    auto inbound = transport->receive();
    EXPECT_EQ(harness.nextMessage(inbound), "question");
    harness.await(transport->send("second"));
    EXPECT_EQ(harness.nextMessage(inbound), "reply to second");
    EXPECT_NE(first.wait_for(0s), std::future_status::ready);
    endpoint.release();
    first.get();
    harness.await(transport->disconnect());
}

TEST(HTTPClientTransportTest, DisconnectFailsOpenSendsAndEndsTheStreamAfterWhatItHolds) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        if (request.body == "slow") {
            return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}},
                                      .pieces = {"data: early\n\n"},
                                      .heldOpenAfterPieces = true};
        }
        return json("quick");
    });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), postsOnly());
    harness.await(transport->connect());
    harness.await(transport->send("quick"));
    auto slow = harness.start(transport->send("slow"));
    ASSERT_TRUE(testing::eventually([&] { return transport->receive().size() == 2; }));
    harness.await(transport->disconnect());

    ASSERT_EQ(slow.wait_for(testing::deadline), std::future_status::ready);
    EXPECT_THROW(slow.get(), http_client::HTTPClientFailure);
    auto inbound = transport->receive();
    EXPECT_EQ(harness.nextMessage(inbound), "quick");
    EXPECT_EQ(harness.nextMessage(inbound), "early");
    EXPECT_EQ(harness.nextMessage(inbound), std::nullopt);
    endpoint.release();
}

TEST(HTTPClientTransportTest, ConnectAfterDisconnectStartsAfresh) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) { return json("{}", {{"Mcp-Session-Id", "S"}}); });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), postsOnly());
    harness.await(transport->connect());
    harness.await(transport->send("{}"));
    auto oldStream = transport->receive();
    harness.await(transport->disconnect());
    harness.await(transport->connect());

    EXPECT_EQ(harness.await(transport->sessionID()), std::nullopt);
    auto newStream = transport->receive();
    EXPECT_FALSE(newStream.isFinished());
    harness.await(transport->send("{}"));
    EXPECT_EQ(endpoint.requests().at(1).header("mcp-session-id"), std::nullopt);
    EXPECT_EQ(harness.nextMessage(newStream), "{}");
    EXPECT_EQ(harness.nextMessage(oldStream), "{}");
    EXPECT_EQ(harness.nextMessage(oldStream), std::nullopt);
    harness.await(transport->disconnect());
}

TEST(HTTPClientTransportTest, WritesItsRecordsAtTheirLevelsUnderItsOperations) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        if (request.body == "sse") {
            return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}},
                                      .body = "id: 9\nevent: note\ndata: x\n\ndata: y\n\n"};
        }
        return json("{}", {{"Mcp-Session-Id", "S-9"}});
    });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), postsOnly());
    harness.await(transport->disconnect());
    EXPECT_TRUE(harness.records->all().empty());
    harness.await(transport->connect());
    harness.await(transport->connect());
    harness.await(transport->send("json"));
    harness.await(transport->send("sse"));
    harness.await(transport->disconnect());
    harness.await(transport->disconnect());

    using logging::LogLevel;
    struct Expected {
        LogLevel level;
        std::string message;
        std::string function;
        logging::Metadata metadata;
    };
    const std::vector<Expected> expected = {
        {LogLevel::debug, "HTTP transport connected", "connect()", {}},
        {LogLevel::trace, "Initial session ID signal triggered for SSE task.", "triggerInitialSessionIDSignal()", {}},
        {LogLevel::debug, "Session ID received", "processResponse(response:stream:)", {{"sessionID", "S-9"}}},
        {LogLevel::trace, "Received JSON response", "processResponse(response:stream:)", {{"size", "2"}}},
        {LogLevel::trace, "Received SSE response, processing in streaming task", "processResponse(response:stream:)",
         {}},
        {LogLevel::trace, "SSE event received", "processSSE(_:)", {{"type", "note"}, {"id", "9"}}},
        {LogLevel::trace, "SSE event received", "processSSE(_:)", {{"type", "message"}, {"id", "none"}}},
        {LogLevel::debug, "HTTP clienttransport disconnected", "disconnect()", {}},
    };
    const auto records = harness.records->all();
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        EXPECT_EQ(records[index].level, expected[index].level) << index;
        EXPECT_EQ(records[index].message, expected[index].message) << index;
        EXPECT_EQ(records[index].function, expected[index].function) << index;
        EXPECT_EQ(records[index].metadata, expected[index].metadata) << index;
        EXPECT_EQ(records[index].source, "MCP") << index;
    }
}

}  // namespace
}  // namespace lumenary::mcp

namespace lumenary::mcp {
namespace {

TEST(HTTPClientTransportTest, ReadingPausesWhileUndeliveredMessagesWeighMoreThanTheBound) {
    constexpr int events = 2000;
    std::string body;
    for (int index = 0; index < events; ++index) body += "data: " + std::string(100, 'm') + "\n\n";
    FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) {
        return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}}, .body = body};
    });
    TransportHarness harness;
    auto options = postsOnly();
    options.maximumUndeliveredBytes = 1000;
    auto transport = harness.transport(endpoint.url(), options);
    harness.await(transport->connect());
    auto sending = harness.start(transport->send("{}"));

    // Read slowly, one message per trip from this thread; without the bound
    // the whole body would be waiting here at once.
    auto inbound = transport->receive();
    std::size_t heaviest = 0;
    for (int index = 0; index < events; ++index) {
        heaviest = std::max(heaviest, inbound.weight());
        ASSERT_EQ(harness.nextMessage(inbound), std::string(100, 'm')) << index;
    }
    ASSERT_EQ(sending.wait_for(testing::deadline), std::future_status::ready);
    sending.get();
    // The bound, plus the events of the one piece read past it.
    EXPECT_LT(heaviest, 1000u + 64u * 1024u);
    EXPECT_GE(heaviest, 1000u);
    harness.await(transport->disconnect());
}

TEST(HTTPClientTransportTest, PostAnswered405WithStreamingEndsTheGetStream) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        if (request.method == "GET") {
            // Writes go on until the client has gone.
            return CannedHTTPResponse{
                .headers = {{"Content-Type", "text/event-stream"}}, .pieceDelay = 5ms, .trickle = ": open\n\n"};
        }
        return CannedHTTPResponse{.status = 405};
    });
    TransportHarness harness;
    auto options = HTTPClientTransport::Options{};
    options.sseInitializationTimeout = std::chrono::milliseconds(0);
    auto transport = harness.transport(endpoint.url(), options);
    harness.await(transport->connect());
    ASSERT_TRUE(endpoint.waitForRequests(1));
    ASSERT_TRUE(testing::eventually([&] { return endpoint.openConnectionCount() == 1; }));

    EXPECT_EQ(harness.failureText(transport->send("{}")), "Internal error: Server does not support streaming");
    EXPECT_TRUE(testing::eventually([&] { return endpoint.openConnectionCount() == 0; }));
    EXPECT_EQ(endpoint.requestCount("GET"), 1u);
    harness.await(transport->disconnect());
}

}  // namespace
}  // namespace lumenary::mcp
