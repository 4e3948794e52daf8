// The HTTP client transport through a relay that cuts, trickles and stalls
// its connections.
#include <gtest/gtest.h>

#include <csignal>

#include "mcp/client/client.hpp"
#include "mcp/http_transport/canned_answers.hpp"
#include "mcp/http_transport/http_client_transport.hpp"
#include "mcp/http_transport/transport_harness.hpp"
#include "support/child_process.hpp"
#include "support/fake_http_endpoint.hpp"
#include "support/loopback_relay.hpp"

namespace lumenary::mcp {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::CannedHTTPResponse;
using lumenary::testing::ChildProcess;
using lumenary::testing::FakeHTTPEndpoint;
using lumenary::testing::LoopbackRelay;
using lumenary::testing::ReceivedHTTPRequest;
using testing::eventually;
using testing::openEventStream;
using testing::postsOnly;
using testing::TransportHarness;

std::string relayURL(const LoopbackRelay& relay) {
    return "http://127.0.0.1:" + std::to_string(relay.port()) + "/mcp";
}

TEST(HTTPClientTransportFaultTest, AServerGoneDuringAnEventStreamAnswerFailsThatSendOnly) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        if (request.body == "stream") return openEventStream({"data: started\n\n"});
        return CannedHTTPResponse{.headers = {{"Content-Type", "application/json"}}, .body = "{}"};
    });
    LoopbackRelay relay(endpoint.port());
    TransportHarness harness;
    auto transport = harness.transport(relayURL(relay), postsOnly());
    harness.await(transport->connect());
    auto sending = harness.start(transport->send("stream"));
    EXPECT_EQ(harness.nextMessage(transport->receive()), "started");
    relay.cutAll();

    ASSERT_EQ(sending.wait_for(testing::deadline), std::future_status::ready);
    EXPECT_THROW(sending.get(), http_client::HTTPClientFailure);
    EXPECT_EQ(harness.records->count("Error processing SSE events: "), 1u);
    // The transport itself carries on.
    harness.await(transport->send("json"));
    EXPECT_EQ(harness.nextMessage(transport->receive()), "{}");
    harness.await(transport->disconnect());
    endpoint.release();
}

TEST(HTTPClientTransportFaultTest, AStallLongerThanTheIdleLimitInsideAnAnswerTimesTheSendOut) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) {
        return openEventStream({"data: first\n\n", "data: second\n\n"}, 50ms);
    });
    LoopbackRelay relay(endpoint.port());
    TransportHarness harness;
    auto options = postsOnly();
    options.requestIdleLimit = 300ms;
    auto transport = harness.transport(relayURL(relay), options);
    harness.await(transport->connect());
    auto sending = harness.start(transport->send("{}"));
    EXPECT_EQ(harness.nextMessage(transport->receive()), "first");
    relay.stall(true);

    ASSERT_EQ(sending.wait_for(testing::deadline), std::future_status::ready);
    try {
        sending.get();
        ADD_FAILURE() << "the send should have timed out";
    } catch (const http_client::HTTPClientFailure& failure) {
        EXPECT_EQ(failure.error().kind, http_client::HTTPClientError::Kind::timedOut) << failure.what();
    }
    relay.stall(false);
    harness.await(transport->disconnect());
    endpoint.release();
}

// The test peer, reached through the relay.
class RelayedPeer {
public:
    RelayedPeer() : process_({lumenary::testing::siblingProgram("http_test_server"), "--quiet"}) {
        const auto line = process_.readLine();
        port_ = line ? static_cast<std::uint16_t>(std::stoi(*line)) : 0;
        relay_ = std::make_unique<LoopbackRelay>(port_);
    }
    ~RelayedPeer() {
        process_.signal(SIGKILL);
        process_.waitForExit();
    }
    std::string url() const { return relayURL(*relay_); }
    LoopbackRelay& relay() { return *relay_; }
    ChildProcess& process() { return process_; }

private:
    ChildProcess process_;
    std::uint16_t port_ = 0;
    std::unique_ptr<LoopbackRelay> relay_;
};

TEST(HTTPClientTransportFaultTest, EventsArriveIntactOneByteAtATime) {
    RelayedPeer peer;
    peer.relay().trickle(1, 5ms);
    TransportHarness harness;
    auto transport = harness.transport(peer.url());
    auto client = Client::create(harness.executor(), "trickled", "1.0");
    auto listChanged = std::make_shared<std::atomic<int>>(0);
    client->onNotification<ToolListChangedNotification>(
        [listChanged](Message<ToolListChangedNotification>) -> asio::awaitable<void> {
            ++*listChanged;
            co_return;
        });
    EXPECT_EQ(harness.await(client->connect(transport)).serverInfo.name, "http_test_server");
    ASSERT_TRUE(eventually([&] { return harness.records->find("SSE event received").has_value(); }, 20s));
    peer.process().signal(SIGUSR1);
    EXPECT_TRUE(eventually([&] { return *listChanged > 0; }, 20s));
    harness.await(client->disconnect());
}

TEST(HTTPClientTransportFaultTest, AServerKilledUnderTheGetStreamIsRetriedWithBackOff) {
    RelayedPeer peer;
    TransportHarness harness;
    auto options = HTTPClientTransport::Options{};
    // The real pacing scaled down tenfold: at most one GET per 100 ms,
    // doubling up to 3 s.
    options.listenerMinimumInterval = 100ms;
    options.listenerMaximumPause = 3s;
    auto transport = harness.transport(peer.url(), options);
    auto client = Client::create(harness.executor(), "killed", "1.0");
    harness.await(client->connect(transport));
    ASSERT_TRUE(eventually([&] { return harness.records->find("SSE event received").has_value(); }));

    peer.process().signal(SIGKILL);
    peer.process().waitForExit();
    const auto killed = std::chrono::steady_clock::now();
    ASSERT_TRUE(eventually([&] { return harness.records->count("SSE connection error: ") >= 4; }));
    // Pauses of 100, 200 and 400 ms at least between the failed attempts:
    // one second holds no more than five GETs.
    EXPECT_GE(std::chrono::steady_clock::now() - killed, 700ms);
    // Nothing hangs: a call fails at once.
    EXPECT_ANY_THROW(harness.await(client->ping()));
    harness.await(client->disconnect());
}

}  // namespace
}  // namespace lumenary::mcp
