// Our client over the network transport to our server on a loopback port,
// straight or through a relay that breaks the connection on demand.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include "async/context_runner.hpp"
#include "logging/recording_log_handler.hpp"
#include "mcp/client/client.hpp"
#include "mcp/core/json.hpp"
#include "mcp/transports/network_transport.hpp"
#include "mcp/transports/tcp_network_connection.hpp"
#include "peers/network_test_peer.hpp"
#include "support/fake_http_endpoint.hpp"
#include "support/loopback_relay.hpp"

namespace lumenary::mcp::testing {
namespace {

using lumenary::testing::LoopbackRelay;
using Reconnection = NetworkTransport::ReconnectionConfiguration;
using Heartbeat = NetworkTransport::HeartbeatConfiguration;

std::string firstText(const CallTool::Result& result) {
    const auto* text = result.content.empty() ? nullptr : std::get_if<Tool::Content::Text>(&result.content[0].value);
    return text ? text->text : std::string();
}

std::map<std::string, Value> arguments(std::string key, Value value) {
    return {{std::move(key), std::move(value)}};
}

struct ClientSetup {
    Reconnection reconnection = Reconnection(true, 5, 1.5);
    Heartbeat heartbeat = Heartbeat::disabled;
    double backoffScale = 0.02;
    std::size_t maximumQueuedOutputBytes = 8 * 1024 * 1024;
    logging::LogLevel level = logging::LogLevel::debug;
};

// Our client on the test's thread, its transport pointed at `port`.
class LoopbackClient {
public:
    LoopbackClient(std::uint16_t port, ClientSetup setup = {})
        : records_(std::make_shared<logging::testing::RecordLog>()) {
        NetworkTransport::Options options;
        options.backoffScale = setup.backoffScale;
        options.firstHeartbeatDelay = std::chrono::milliseconds(1);
        options.maximumQueuedOutputBytes = setup.maximumQueuedOutputBytes;
        transport_ = NetworkTransport::create(
            io_.get_executor(), TCPNetworkConnection::create("127.0.0.1", port),
            logging::Logger("mcp.transport.network",
                            logging::testing::RecordingLogHandler("network", setup.level, records_)),
            setup.heartbeat, setup.reconnection, NetworkTransport::BufferConfiguration::defaultConfiguration,
            options);
        client_ = Client::create(io_.get_executor(), "loopback-client", "1.0.0");
        client_->onNotification<PeerNoteNotification>(
            [notes = notes_](Message<PeerNoteNotification> note) -> asio::awaitable<void> {
                notes->push_back(writeJSON(note.params));
                co_return;
            });
    }

    ~LoopbackClient() {
        try {
            complete(client_->disconnect());
        } catch (...) {
            ADD_FAILURE() << "the client did not disconnect";
        }
    }

    Client& client() { return *client_; }
    NetworkTransport& transport() { return *transport_; }
    asio::io_context& io() { return io_; }
    const std::vector<std::string>& notes() const { return *notes_; }

    Initialize::Result connect() { return complete(client_->connect(transport_)); }

    template <typename T>
    T complete(asio::awaitable<T> operation) {
        return async::test::runToEnd(io_, std::move(operation));
    }
    template <typename T>
    std::future<T> begin(asio::awaitable<T> operation) {
        return asio::co_spawn(io_, std::move(operation), asio::use_future);
    }
    template <typename Predicate>
    bool runUntil(Predicate done, std::chrono::steady_clock::duration limit = async::test::kDeadline) {
        return async::test::runUntil(io_, std::move(done), limit);
    }

    std::size_t count(std::string_view message) const {
        std::size_t found = 0;
        for (const auto& record : *records_) {
            found += record.message == message ? 1 : 0;
        }
        return found;
    }
    bool waitForRecord(std::string_view message) {
        return runUntil([&] { return count(message) > 0; });
    }

    std::string echo(std::string text) {
        return firstText(complete(client_->callTool("echo", arguments("text", std::move(text)))));
    }

private:
    asio::io_context io_;
    std::shared_ptr<logging::testing::RecordLog> records_;
    std::shared_ptr<std::vector<std::string>> notes_ = std::make_shared<std::vector<std::string>>();
    std::shared_ptr<NetworkTransport> transport_;
    std::shared_ptr<Client> client_;
};

template <typename T>
std::string failureOf(std::future<T>& future) {
    try {
        future.get();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

struct AddressCase {
    const char* name;
    std::string host;
    bool peerListens;
    std::string failure;
};

TEST(NetworkLoopbackTest, ConnectsToTheFirstAddressOfTheHostThatAccepts) {
    NetworkTestPeer peer;
    const std::vector<AddressCase> cases{
        {"address", "127.0.0.1", true, ""},
        // May resolve to ::1 first, where nothing listens.
        {"name", "localhost", true, ""},
        {"nothing listening", "127.0.0.1", false, "Transport error: Connection refused"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        asio::io_context io;
        const auto port = testCase.peerListens ? peer.port() : lumenary::testing::unusedLoopbackPort();
        auto transport = NetworkTransport::create(io.get_executor(), TCPNetworkConnection::create(testCase.host, port),
                                                  std::nullopt, Heartbeat::disabled, Reconnection::disabled);
        std::string failure;
        try {
            async::test::runToEnd(io, transport->connect());
            async::test::runToEnd(io, transport->disconnect());
        } catch (const std::exception& error) {
            failure = error.what();
        }
        EXPECT_EQ(failure, testCase.failure);
    }
}

TEST(NetworkLoopbackTest, HandshakeToolsBatchesAndNotificationsBothWays) {
    NetworkTestPeer peer;
    LoopbackClient loopback(peer.port());
    const auto handshake = loopback.connect();
    EXPECT_EQ(handshake.serverInfo.name, "network-test-peer");

    const auto tools = loopback.complete(loopback.client().listTools());
    ASSERT_EQ(tools.tools.size(), 3u);
    EXPECT_EQ(loopback.echo("hello"), R"({"text":"hello"})");

    std::vector<PendingRequest<CallTool::Result>> calls;
    loopback.complete(loopback.client().withBatch([&](Client::Batch& batch) -> asio::awaitable<void> {
        for (const char* word : {"one", "two"}) {
            Request<CallTool> request(ID::random(), CallTool::Parameters{"echo", arguments("text", word)});
            calls.push_back(co_await batch.addRequest(std::move(request)));
        }
    }));
    EXPECT_EQ(firstText(loopback.complete(calls[0].wait())), R"({"text":"one"})");
    EXPECT_EQ(firstText(loopback.complete(calls[1].wait())), R"({"text":"two"})");

    loopback.complete(
        loopback.client().notify(Message<PeerNoteNotification>(Value::object({{"from", "client"}}))));
    ASSERT_TRUE(loopback.runUntil([&] { return peer.notes().size() == 1; }));
    EXPECT_EQ(peer.notes().front(), R"({"from":"client"})");

    loopback.complete(loopback.client().callTool("notify", arguments("from", "peer")));
    ASSERT_EQ(loopback.notes().size(), 1u) << "the note came before the answer";
    EXPECT_EQ(loopback.notes().front(), R"({"from":"peer"})");
}

TEST(NetworkLoopbackTest, TenThousandPipelinedCallsAmongThePeersHeartbeatsArriveWholeAndInOrder) {
    NetworkTestPeer peer(NetworkTestPeer::Options{.heartbeatInterval = std::chrono::milliseconds(10)});
    LoopbackClient loopback(peer.port(), ClientSetup{.level = logging::LogLevel::trace});
    loopback.connect();
    ASSERT_TRUE(loopback.waitForRecord("Received heartbeat from peer"));

    constexpr int callCount = 10'000;
    auto answered = std::make_shared<int>(0);
    auto wrong = std::make_shared<std::vector<int>>();
    auto client = loopback.client().shared_from_this();
    for (int index = 0; index < callCount; ++index) {
        asio::co_spawn(
            loopback.io(),
            [](std::shared_ptr<Client> caller, int number, std::shared_ptr<int> done,
               std::shared_ptr<std::vector<int>> mismatched) -> asio::awaitable<void> {
                auto result = co_await caller->callTool("echo", arguments("n", number));
                if (firstText(result) != R"({"n":)" + std::to_string(number) + "}") {
                    mismatched->push_back(number);
                }
                ++*done;
            }(client, index, answered, wrong),
            asio::detached);
    }
    ASSERT_TRUE(loopback.runUntil([&] { return *answered == callCount; }, std::chrono::seconds(60)));
    EXPECT_TRUE(wrong->empty());
    EXPECT_GE(loopback.count("Received heartbeat from peer"), 2u);
    EXPECT_EQ(loopback.count("Discarded a line longer than 33554432 bytes"), 0u);
}

TEST(NetworkLoopbackTest, APeerDyingMidMessageFailsWaitingRequestsAndTheClientComesBack) {
    NetworkTestPeer peer;
    LoopbackClient loopback(peer.port());
    loopback.connect();
    auto held = loopback.begin(loopback.client().callTool("hold"));
    ASSERT_TRUE(loopback.runUntil([&] { return peer.heldCalls() == 1; }));

    peer.dieMidMessage();
    ASSERT_TRUE(loopback.runUntil([&] { return async::test::isReady(held); }));
    EXPECT_EQ(failureOf(held), "Connection closed");
    ASSERT_TRUE(loopback.runUntil([&] { return peer.connectionCount() == 2; }));
    ASSERT_TRUE(loopback.runUntil([&] { return loopback.complete(loopback.transport().status()).isConnected; }));

    loopback.complete(loopback.client().initialize());
    EXPECT_EQ(loopback.echo("again"), R"({"text":"again"})");
    EXPECT_EQ(loopback.count("Message received"), 3u) << "the cut line never became a message";
}

TEST(NetworkLoopbackTest, APeerThatAcceptsAndClosesSeesAtMostMaxAttemptsPlusOneConnections) {
    NetworkTestPeer peer(NetworkTestPeer::Options{.acceptAndClose = true});
    LoopbackClient loopback(peer.port(), ClientSetup{.reconnection = Reconnection(true, 3, 1.5)});
    auto connecting = loopback.begin(loopback.client().connect(loopback.transport().shared_from_this()));
    ASSERT_TRUE(loopback.runUntil([&] { return async::test::isReady(connecting); }));
    EXPECT_EQ(failureOf(connecting), "Connection closed");
    ASSERT_TRUE(loopback.runUntil([&] { return loopback.transport().receive().isFinished(); }));
    EXPECT_EQ(peer.connectionCount(), 4u);
}

TEST(NetworkLoopbackTest, APeerThatReturnsWithinTheAttemptsIsReconnectedAndServesNewRequests) {
    NetworkTestPeer peer;
    LoopbackClient loopback(peer.port());
    loopback.connect();
    peer.stopListening();
    ASSERT_TRUE(loopback.waitForRecord("Connection failed: Connection refused"));
    auto refused = loopback.begin(loopback.client().callTool("echo"));
    ASSERT_TRUE(loopback.runUntil([&] { return async::test::isReady(refused); }));
    EXPECT_EQ(failureOf(refused), "Internal error: Transport not connected");

    peer.listenAgain();
    ASSERT_TRUE(loopback.runUntil([&] { return loopback.complete(loopback.transport().status()).isConnected; }));
    loopback.complete(loopback.client().initialize());
    EXPECT_EQ(loopback.echo("back"), R"({"text":"back"})");
}

TEST(NetworkLoopbackTest, APeerThatStopsReadingHoldsSendersBackAndDisconnectIsPrompt) {
    NetworkTestPeer peer;
    LoopbackRelay relay(peer.port());
    constexpr std::size_t bound = 256 * 1024;
    LoopbackClient loopback(relay.port(), ClientSetup{.maximumQueuedOutputBytes = bound});
    loopback.connect();
    relay.stall(true);

    const std::string text(64 * 1024, 'x');
    auto client = loopback.client().shared_from_this();
    std::vector<std::future<void>> notes;
    for (int index = 0; index < 400; ++index) {
        notes.push_back(loopback.begin(client->notify(Message<PeerNoteNotification>(Value::object({{"x", text}})))));
    }
    ASSERT_TRUE(loopback.runUntil([&] { return loopback.complete(loopback.transport().status()).sendersWaitingForRoom > 0; }));
    const auto status = loopback.complete(loopback.transport().status());
    EXPECT_LE(status.queuedOutputBytes, bound + text.size() + 64);

    loopback.complete(loopback.client().disconnect());
    ASSERT_TRUE(loopback.runUntil([&] {
        return std::all_of(notes.begin(), notes.end(), [](const auto& note) { return async::test::isReady(note); });
    }));
    std::size_t failed = 0;
    for (auto& note : notes) {
        failed += failureOf(note).empty() ? 0 : 1;
    }
    EXPECT_GT(failed, 0u);
    relay.stall(false);
}

TEST(NetworkLoopbackTest, MessagesAndHeartbeatsCrossARelayThatForwardsOneByteAtATime) {
    NetworkTestPeer peer(NetworkTestPeer::Options{.heartbeatInterval = std::chrono::milliseconds(5)});
    LoopbackRelay relay(peer.port());
    relay.trickle(1);
    LoopbackClient loopback(relay.port(), ClientSetup{.heartbeat = Heartbeat(true, 0.005),
                                                      .level = logging::LogLevel::trace});
    loopback.connect();
    ASSERT_TRUE(loopback.waitForRecord("Received heartbeat from peer"));
    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(loopback.echo("slow " + std::to_string(index)), R"({"text":"slow )" + std::to_string(index) + "\"}");
    }
    EXPECT_EQ(loopback.count("Discarded a line longer than 33554432 bytes"), 0u);
}

TEST(NetworkLoopbackTest, DisconnectDuringABackoffEndsEveryTimerAndMakesNoFurtherConnection) {
    NetworkTestPeer peer;
    LoopbackRelay relay(peer.port());
    LoopbackClient loopback(relay.port(), ClientSetup{.backoffScale = 1.0});
    loopback.connect();
    relay.cutAll();
    ASSERT_TRUE(loopback.waitForRecord("Error during receive, attempting reconnection (1/5)..."));

    loopback.complete(loopback.client().disconnect());
    // Nothing is left to run: no timer, so no try can come.
    loopback.io().restart();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!loopback.io().stopped() && std::chrono::steady_clock::now() < deadline) {
        loopback.io().run_one_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(loopback.io().stopped());
    EXPECT_EQ(relay.connectionCount(), 1u);
}

}  // namespace
}  // namespace lumenary::mcp::testing
