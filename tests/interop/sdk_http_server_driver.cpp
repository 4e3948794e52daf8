// Drives an MCP server written with the public TypeScript MCP SDK over its
// Streamable-HTTP server transport with our client and HTTP client
// transport: with event-stream answers and with JSON answers, tools whose
// result follows notifications, tools that ping or sample our client in the
// middle of a call, notifications on the GET stream, and, with an event
// store on the server, a GET stream cut by a relay that resumes where it
// stopped.
//
//   sdk_http_server_driver NODE SCRIPT
//
// Exits 0 when every check holds; otherwise names each failed check on
// standard error and exits 1.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include "interop/driver_checks.hpp"
#include "interop/stub_model.hpp"
#include "mcp/client/client.hpp"
#include "mcp/http_transport/http_client_transport.hpp"
#include "support/child_process.hpp"
#include "support/loopback_relay.hpp"

using namespace lumenary;
using namespace lumenary::mcp;
using namespace lumenary::interop;
using namespace std::chrono_literals;

namespace {

template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = 15s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// What the server told our client on its own, gathered under a lock.
struct Notifications {
    std::atomic<int> listChanges{0};
    std::mutex mutex;
    std::vector<std::string> updatedURIs;

    std::size_t updateCount() {
        std::lock_guard lock(mutex);
        return updatedURIs.size();
    }
};

// One SDK server process, its client and transport, on a thread of their own.
class Session {
public:
    Session(const std::string& node, const std::string& script, std::vector<std::string> flags, bool relayed)
        : server_(arguments(node, script, std::move(flags))) {
        const auto line = server_.readLine(30s);
        port_ = line ? static_cast<std::uint16_t>(std::stoi(*line)) : 0;
        if (relayed) relay_ = std::make_unique<lumenary::testing::LoopbackRelay>(port_);
        const auto port = relay_ ? relay_->port() : port_;
        transport_ =
            HTTPClientTransport::create(io_.get_executor(), "http://127.0.0.1:" + std::to_string(port) + "/mcp");
        client_ = Client::create(io_.get_executor(), "lumenary-interop", "1.0");
        auto notifications = notifications_;
        client_->withSamplingHandler(answerAsModel)
            .onNotification<ToolListChangedNotification>(
                [notifications](Message<ToolListChangedNotification>) -> asio::awaitable<void> {
                    ++notifications->listChanges;
                    co_return;
                })
            .onNotification<ResourceUpdatedNotification>(
                [notifications](Message<ResourceUpdatedNotification> message) -> asio::awaitable<void> {
                    std::lock_guard lock(notifications->mutex);
                    notifications->updatedURIs.push_back(message.params.uri);
                    co_return;
                });
        thread_ = std::thread([this] { io_.run(); });
    }
    ~Session() {
        work_.reset();
        io_.stop();
        thread_.join();
    }

    template <typename T>
    T await(asio::awaitable<T> operation) {
        auto future = asio::co_spawn(io_, std::move(operation), asio::use_future);
        if (future.wait_for(60s) != std::future_status::ready) {
            throw std::runtime_error("no answer within 60 s");
        }
        return future.get();
    }

    bool connected() const { return port_ != 0; }
    Client& client() { return *client_; }
    HTTPClientTransport& transport() { return *transport_; }
    std::shared_ptr<Client> clientHandle() { return client_; }
    std::shared_ptr<HTTPClientTransport> transportHandle() { return transport_; }
    Notifications& notifications() { return *notifications_; }
    lumenary::testing::LoopbackRelay& relay() { return *relay_; }

private:
    static std::vector<std::string> arguments(const std::string& node, const std::string& script,
                                              std::vector<std::string> flags) {
        std::vector<std::string> all{node, script};
        all.insert(all.end(), flags.begin(), flags.end());
        return all;
    }

    lumenary::testing::ChildProcess server_;
    std::uint16_t port_ = 0;
    std::unique_ptr<lumenary::testing::LoopbackRelay> relay_;
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(io_);
    std::shared_ptr<HTTPClientTransport> transport_;
    std::shared_ptr<Client> client_;
    std::shared_ptr<Notifications> notifications_ = std::make_shared<Notifications>();
    std::thread thread_;
};

std::map<std::string, Value> arguments() {
    return {{"a", 1}, {"b", 2}, {"question", "What is 2+2?"}};
}

// Waits for a notification on the GET stream, which also tells that the
// stream is open.
void awaitGetStream(Session& session, const std::string& mode) {
    const int before = session.notifications().listChanges;
    checkEqual(firstText(session.await(session.client().callTool("announce"))), "announcing", mode + ": announce");
    check(eventually([&] { return session.notifications().listChanges > before; }),
          mode + ": a notification arrives on the GET stream");
}

void driveAnswers(const std::string& node, const std::string& script, bool json) {
    const std::string mode = json ? "JSON answers" : "event-stream answers";
    Session session(node, script, json ? std::vector<std::string>{"--json"} : std::vector<std::string>{}, false);
    if (!session.connected()) {
        check(false, mode + ": the SDK server printed its port");
        return;
    }
    session.await(session.client().setCapabilities(ClientCapabilities{.sampling = ClientCapabilities::Sampling{}}));
    const auto handshake = session.await(session.client().connect(session.transportHandle()));
    checkEqual(handshake.serverInfo.name, "sdk-http-server", mode + ": server name");
    check(session.await(session.transport().sessionID()).has_value(), mode + ": the server named its session");
    check(session.await(session.client().listTools()).tools.size() == 6, mode + ": six tools listed");
    checkEqual(firstText(session.await(session.client().callTool("add", arguments()))), "3", mode + ": add");
    awaitGetStream(session, mode);

    const int before = session.notifications().listChanges;
    checkEqual(firstText(session.await(session.client().callTool("notify_twice"))), "notified",
               mode + ": notify_twice");
    if (!json) {
        check(session.notifications().listChanges == before + 2,
              mode + ": both notifications of the call arrive before its result");
    }
    checkEqual(firstText(session.await(session.client().callTool("ping_client"))), "pong", mode + ": ping_client");
    checkEqual(firstText(session.await(session.client().callTool("ask_model", arguments()))),
               "stub-model: echo What is 2+2?", mode + ": ask_model");
    session.await(session.client().ping());
    session.await(session.client().disconnect());
}

void driveResumption(const std::string& node, const std::string& script) {
    const std::string mode = "event store";
    Session session(node, script, {"--event-store"}, true);
    if (!session.connected()) {
        check(false, mode + ": the SDK server printed its port");
        return;
    }
    session.await(session.client().connect(session.transportHandle()));
    awaitGetStream(session, mode);

    constexpr int burst = 30;
    std::map<std::string, Value> pacing{{"count", burst}, {"interval", 20}};
    checkEqual(firstText(session.await(session.client().callTool("burst", pacing))), "bursting", mode + ": burst");
    check(eventually([&] { return session.notifications().updateCount() >= 5; }), mode + ": the burst begins");
    const auto connectionsBefore = session.relay().connectionCount();
    session.relay().cutAll();
    check(eventually([&] { return session.notifications().updateCount() >= burst; }),
          mode + ": every event of the burst arrives after the cut");
    check(session.relay().connectionCount() > connectionsBefore, mode + ": the GET stream was opened again");
    std::vector<std::string> expected;
    for (int index = 0; index < burst; ++index) expected.push_back("memo://burst/" + std::to_string(index));
    {
        std::lock_guard lock(session.notifications().mutex);
        check(session.notifications().updatedURIs == expected, mode + ": each event once and in order");
    }
    session.await(session.client().disconnect());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: sdk_http_server_driver NODE SCRIPT\n");
        return 2;
    }
    try {
        driveAnswers(argv[1], argv[2], false);
        driveAnswers(argv[1], argv[2], true);
        driveResumption(argv[1], argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sdk_http_server_driver: %s\n", error.what());
        ++failures;
    }
    if (failures == 0) {
        std::printf(
            "interop: our client drove the SDK's Streamable-HTTP server: event-stream and JSON answers, "
            "pings and sampling mid-call, the GET stream, resumption after a cut\n");
    }
    return failures == 0 ? 0 : 1;
}
