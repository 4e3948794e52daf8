#include "mcp/http_transport/http_client_transport.hpp"

#include <gtest/gtest.h>

#include <atomic>

#include "mcp/http_transport/canned_answers.hpp"
#include "mcp/http_transport/transport_harness.hpp"
#include "support/fake_http_endpoint.hpp"

namespace lumenary::mcp {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::CannedHTTPResponse;
using lumenary::testing::FakeHTTPEndpoint;
using lumenary::testing::ReceivedHTTPRequest;
using testing::eventually;
using testing::openEventStream;
using testing::TransportHarness;
using Clock = std::chrono::steady_clock;

// Short pauses so that tests see several attempts quickly; the waits still
// have deadlines, never fixed sleeps.
HTTPClientTransport::Options quickListener(std::chrono::milliseconds initializationTimeout = 10s) {
    HTTPClientTransport::Options options;
    options.sseInitializationTimeout = initializationTimeout;
    options.listenerMinimumInterval = 20ms;
    options.listenerMaximumPause = 160ms;
    return options;
}

CannedHTTPResponse jsonWithSession(const std::string& id) {
    return CannedHTTPResponse{.headers = {{"Content-Type", "application/json"}, {"Mcp-Session-Id", id}}, .body = "{}"};
}

std::vector<ReceivedHTTPRequest> gets(const FakeHTTPEndpoint& endpoint) {
    std::vector<ReceivedHTTPRequest> found;
    for (const auto& request : endpoint.requests()) {
        if (request.method == "GET") found.push_back(request);
    }
    return found;
}

TEST(HTTPClientTransportListenerTest, WithoutStreamingNoGetIsMade) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        return request.method == "GET" ? openEventStream() : jsonWithSession("S");
    });
    TransportHarness harness;
    auto options = quickListener(0ms);
    options.streaming = false;
    auto transport = harness.transport(endpoint.url(), options);
    harness.await(transport->connect());
    harness.await(transport->send("{}"));
    harness.await(transport->send("{}"));
    harness.await(transport->disconnect());
    EXPECT_EQ(endpoint.requestCount("GET"), 0u);
    endpoint.release();
}

TEST(HTTPClientTransportListenerTest, GetWaitsForTheFirstSessionIdAndCarriesIt) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        return request.method == "GET" ? openEventStream() : jsonWithSession("S-1");
    });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), quickListener());
    harness.await(transport->connect());
    ASSERT_TRUE(eventually([&] { return harness.records->find("SSE streaming task waiting for initial sessionID signal..."); }));
    EXPECT_EQ(endpoint.requestCount("GET"), 0u);
    harness.await(transport->send("{}"));

    ASSERT_TRUE(endpoint.waitForRequests(2));
    const auto get = gets(endpoint).at(0);
    EXPECT_EQ(get.header("mcp-session-id"), "S-1");
    EXPECT_EQ(get.header("accept"), "text/event-stream");
    EXPECT_EQ(get.header("cache-control"), "no-cache");
    EXPECT_EQ(get.header("last-event-id"), std::nullopt);
    EXPECT_TRUE(harness.records->find("SSE streaming task proceeding after initial sessionID signal."));
    EXPECT_TRUE(harness.records->find("Starting SSE connection"));
    harness.await(transport->disconnect());
    endpoint.release();
}

TEST(HTTPClientTransportListenerTest, SessionIdThatArrivedBeforeTheWaitIsNotMissed) {
    // The POST's answer lands before the listener task first runs: the id is
    // known by then, or the signal stays fired for it.
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        return request.method == "GET" ? openEventStream() : jsonWithSession("S-early");
    });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), quickListener(60s));
    harness.await([&]() -> asio::awaitable<void> {
        co_await transport->connect();
        co_await transport->send("{}");
    }());
    ASSERT_TRUE(endpoint.waitForRequests(2));
    EXPECT_EQ(gets(endpoint).at(0).header("mcp-session-id"), "S-early");
    harness.await(transport->disconnect());
    endpoint.release();
}

TEST(HTTPClientTransportListenerTest, WithoutASessionIdTheGetGoesOutAfterTheTimeout) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) { return openEventStream(); });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), quickListener(30ms));
    harness.await(transport->connect());
    ASSERT_TRUE(endpoint.waitForRequests(1));
    EXPECT_EQ(gets(endpoint).at(0).header("mcp-session-id"), std::nullopt);
    const auto warning = harness.records->find(
        "Timeout waiting for initial sessionID signal. SSE stream will proceed (sessionID might be nil).");
    ASSERT_TRUE(warning);
    EXPECT_EQ(warning->level, logging::LogLevel::warning);
    harness.await(transport->disconnect());
    endpoint.release();
}

TEST(HTTPClientTransportListenerTest, DisconnectDuringTheWaitMeansNoGet) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) { return openEventStream(); });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), quickListener(60s));
    harness.await(transport->connect());
    ASSERT_TRUE(eventually([&] { return harness.records->find("SSE streaming task waiting for initial sessionID signal..."); }));
    harness.await(transport->disconnect());
    ASSERT_TRUE(eventually([&] { return harness.records->find("SSE streaming task proceeding after initial sessionID signal."); }));
    EXPECT_EQ(endpoint.requestCount("GET"), 0u);
    EXPECT_FALSE(harness.records->find("Starting SSE connection"));
}

TEST(HTTPClientTransportListenerTest, EventsOnTheGetStreamBecomeMessagesAndItsSessionIdIsStored) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) {
        CannedHTTPResponse response = openEventStream({"event: notice\ndata: one\n\n", ": comment\n\ndata: two\n\n"});
        response.headers.emplace_back("Mcp-Session-Id", "S-get");
        return response;
    });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), quickListener(0ms));
    harness.await(transport->connect());
    auto inbound = transport->receive();
    EXPECT_EQ(harness.nextMessage(inbound), "one");
    EXPECT_EQ(harness.nextMessage(inbound), "two");
    EXPECT_EQ(harness.await(transport->sessionID()), "S-get");
    const auto received = harness.records->find("Session ID received");
    ASSERT_TRUE(received);
    EXPECT_EQ(received->function, "connectToEventStream()");
    harness.await(transport->disconnect());
    endpoint.release();
}

TEST(HTTPClientTransportListenerTest, GetAnswered405EndsTheListenerWithoutARecordWhilePostsWork) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        return request.method == "GET" ? CannedHTTPResponse{.status = 405} : jsonWithSession("S");
    });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), quickListener(0ms));
    harness.await(transport->connect());
    ASSERT_TRUE(endpoint.waitForRequests(1));
    // Long enough for several retries at these short pauses, were there any.
    for (int round = 0; round < 20; ++round) harness.await(transport->send("{}"));
    EXPECT_EQ(endpoint.requestCount("GET"), 1u);
    EXPECT_EQ(harness.records->count("SSE connection error: "), 0u);
    harness.await(transport->disconnect());
}

TEST(HTTPClientTransportListenerTest, RefusedOrWrongGetsBackOffDoublingUpToTheLimit) {
    struct Case {
        const char* name;
        CannedHTTPResponse response;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"serverError", CannedHTTPResponse{.status = 500}, "SSE connection error: Internal error: HTTP error: 500"},
        {"noContent", CannedHTTPResponse{.status = 204}, "SSE connection error: Internal error: HTTP error: 204"},
        {"notAnEventStream", CannedHTTPResponse{.headers = {{"Content-Type", "application/json"}}, .body = "{}"},
         "SSE connection error: Internal error: Unexpected content type: application/json"},
    };
    for (const auto& testCase : cases) {
        std::mutex mutex;
        std::vector<Clock::time_point> arrivals;
        FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) {
            std::lock_guard lock(mutex);
            arrivals.push_back(Clock::now());
            return testCase.response;
        });
        TransportHarness harness;
        auto transport = harness.transport(endpoint.url(), quickListener(0ms));
        harness.await(transport->connect());
        // The endpoint counts a request before its responder runs, so wait
        // for the sixth arrival itself.
        ASSERT_TRUE(eventually([&] {
            std::lock_guard lock(mutex);
            return arrivals.size() >= 6;
        })) << testCase.name;
        harness.await(transport->disconnect());

        std::lock_guard lock(mutex);
        // Pauses of 20, 40, 80, 160 and 160 ms at least.
        EXPECT_GE(arrivals[5] - arrivals[0], 460ms) << testCase.name;
        EXPECT_GE(arrivals[5] - arrivals[4], 160ms) << testCase.name;
        EXPECT_GE(harness.records->count(testCase.error), 5u) << testCase.name;
    }
}

TEST(HTTPClientTransportListenerTest, NextGetCarriesTheLastEventIdAndAStreamWithEventsIsReopenedPromptly) {
    std::atomic<int> served{0};
    FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) {
        const int number = ++served;
        return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}},
                                  .body = "id: e" + std::to_string(number) + "\ndata: m" + std::to_string(number) +
                                          "\n\n"};
    });
    TransportHarness harness;
    // Intervals long enough that four of them (400 ms) and the back-off
    // that must not happen (100 + 200 + 400 + 800 ms) stay far apart on a
    // busy machine.
    auto options = quickListener(0ms);
    options.listenerMinimumInterval = 100ms;
    options.listenerMaximumPause = 2s;
    auto transport = harness.transport(endpoint.url(), options);
    harness.await(transport->connect());
    auto inbound = transport->receive();
    const auto start = Clock::now();
    for (int number = 1; number <= 5; ++number) {
        EXPECT_EQ(harness.nextMessage(inbound), "m" + std::to_string(number));
    }
    const auto elapsed = Clock::now() - start;
    harness.await(transport->disconnect());

    const auto requests = gets(endpoint);
    EXPECT_EQ(requests.at(0).header("last-event-id"), std::nullopt);
    for (std::size_t index = 1; index < 5; ++index) {
        EXPECT_EQ(requests[index].header("last-event-id"), "e" + std::to_string(index));
    }
    // At most one GET per interval, but no back-off after streams that
    // delivered.
    EXPECT_GE(elapsed, 350ms);
    EXPECT_LT(elapsed, 1200ms);
}

TEST(HTTPClientTransportListenerTest, ATransportDroppedWithoutDisconnectEndsItsGetStream) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) {
        return CannedHTTPResponse{
            .headers = {{"Content-Type", "text/event-stream"}}, .pieceDelay = 5ms, .trickle = ": keep-alive\n"};
    });
    TransportHarness harness;
    auto transport = harness.transport(endpoint.url(), quickListener(0ms));
    harness.await(transport->connect());
    ASSERT_TRUE(endpoint.waitForRequests(1));
    ASSERT_TRUE(eventually([&] { return endpoint.openConnectionCount() == 1; }));
    std::weak_ptr<HTTPClientTransport> weak = transport;
    transport.reset();
    // The stream's listener locks the transport for a moment on its own
    // strand; the last reference may be dropped there, just after ours.
    EXPECT_TRUE(eventually([&] { return weak.expired(); }));
    EXPECT_TRUE(eventually([&] { return endpoint.openConnectionCount() == 0; }));
}

}  // namespace
}  // namespace lumenary::mcp
