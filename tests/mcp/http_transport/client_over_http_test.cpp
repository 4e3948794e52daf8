// Our client over the HTTP client transport, driving real server programs:
// the test peer and the program itself.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <csignal>
#include <fstream>

#include "app/host/program_test_support.hpp"
#include "mcp/client/client.hpp"
#include "mcp/http_transport/http_client_transport.hpp"
#include "mcp/http_transport/transport_harness.hpp"
#include "support/child_process.hpp"
#include "support/fake_http_endpoint.hpp"
#include "support/temporary_directory.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::mcp {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::ChildProcess;
using testing::eventually;
using testing::TransportHarness;

std::string firstText(const CallTool::Result& result) {
    const auto* text = result.content.empty() ? nullptr : std::get_if<Tool::Content::Text>(&result.content[0].value);
    return text ? text->text : std::string();
}

// The test peer on a port of its own choosing.
class TestPeer {
public:
    TestPeer() : process_({lumenary::testing::siblingProgram("http_test_server"), "--quiet"}) {
        const auto line = process_.readLine();
        port_ = line ? static_cast<std::uint16_t>(std::stoi(*line)) : 0;
    }
    ~TestPeer() {
        process_.signal(SIGTERM);
        process_.waitForExit();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/mcp"; }
    void signal(int number) { process_.signal(number); }

private:
    ChildProcess process_;
    std::uint16_t port_ = 0;
};

HTTPClientTransport::Options quickClientOptions() {
    HTTPClientTransport::Options options;
    options.sseInitializationTimeout = 10s;
    return options;
}

TEST(ClientOverHTTP, HandshakeToolsPingBatchesAndListChangedOnTheGetStream) {
    TestPeer peer;
    TransportHarness harness;
    auto transport = harness.transport(peer.url(), quickClientOptions());
    auto client = Client::create(harness.executor(), "http-client", "1.0");
    auto listChanged = std::make_shared<std::atomic<int>>(0);
    client->onNotification<ToolListChangedNotification>(
        [listChanged](Message<ToolListChangedNotification>) -> asio::awaitable<void> {
            ++*listChanged;
            co_return;
        });

    const auto result = harness.await(client->connect(transport));
    EXPECT_EQ(result.serverInfo.name, "http_test_server");
    EXPECT_TRUE(harness.await(transport->sessionID()));
    EXPECT_EQ(harness.await(client->listTools()).tools.at(0).name, "echo");
    EXPECT_EQ(firstText(harness.await(client->callTool("echo", {{{"path", "a/b"}}}))), R"({"path":"a/b"})");
    harness.await(client->ping());

    std::vector<PendingRequest<CallTool::Result>> calls;
    harness.await(client->withBatch([&](Client::Batch& batch) -> asio::awaitable<void> {
        for (int index = 0; index < 3; ++index) {
            Request<CallTool> request(ID::random(), {"echo", std::map<std::string, Value>{{"n", index}}});
            auto pending = co_await batch.addRequest(std::move(request));
            calls.push_back(std::move(pending));
        }
    }));
    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(firstText(harness.await(calls[static_cast<std::size_t>(index)].wait())),
                  R"({"n":)" + std::to_string(index) + "}");
    }

    // The GET stream is open once the server has seen it.
    ASSERT_TRUE(eventually([&] { return harness.records->find("Starting SSE connection").has_value(); }));
    ASSERT_TRUE(eventually([&] {
        peer.signal(SIGUSR1);
        return eventually([&] { return *listChanged > 0; }, 500ms);
    }));
    harness.await(client->disconnect());
}

// The program itself, serving HTTP on a free port with its own settings.
class ProgramInstance {
public:
    ProgramInstance() {
        ::setenv("LUMENARY_CONFIG_DIR", folder_.path().c_str(), 1);
        std::ofstream(folder_.path() / "defaults.json") << R"({"mcp_server_port":)" << port_ << "}";
        const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        process_ = std::make_unique<ChildProcess>(std::vector<std::string>{lumenary::testing::siblingProgram("lumenary")},
                                                  nothing, (folder_.path() / "instance.err").string());
        ::close(nothing);
        started_ = lumenary::testing::eventually([&] { return lumenary::testing::answersOptions(port_); });
    }
    ~ProgramInstance() {
        process_->signal(SIGTERM);
        process_->waitForExit();
    }
    bool started() const { return started_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/mcp"; }

private:
    lumenary::testing::TemporaryDirectory folder_;
    std::uint16_t port_ = lumenary::testing::freePort();
    std::unique_ptr<ChildProcess> process_;
    bool started_ = false;
};

TEST(ClientOverHTTP, TalksToTheProgramAndCarriesOnPastItsConnectedEvent) {
    ProgramInstance program;
    ASSERT_TRUE(program.started());
    TransportHarness harness;
    auto transport = harness.transport(program.url(), quickClientOptions());
    auto client = Client::create(harness.executor(), "http-client", "1.0");

    const auto result = harness.await(client->connect(transport));
    EXPECT_EQ(result.serverInfo.name, "Quillbright");
    // Every category is off in a fresh settings folder.
    EXPECT_TRUE(harness.await(client->listTools()).tools.empty());
    harness.await(client->ping());

    std::vector<PendingRequest<ListTools::Result>> lists;
    harness.await(client->withBatch([&](Client::Batch& batch) -> asio::awaitable<void> {
        for (int index = 0; index < 2; ++index) {
            auto pending = co_await batch.addRequest(Request<ListTools>(ID::random(), {}));
            lists.push_back(std::move(pending));
        }
    }));
    for (auto& list : lists) EXPECT_EQ(harness.await(list.wait()).nextCursor, std::nullopt);

    // The GET stream's first event is not JSON-RPC: it is logged and the
    // client carries on.
    ASSERT_TRUE(eventually([&] {
        return harness.records
            ->find("Unexpected message received by client (not single/batch response or notification)")
            .has_value();
    }));
    harness.await(client->ping());
    harness.await(client->disconnect());
}

}  // namespace
}  // namespace lumenary::mcp

namespace lumenary::mcp {
namespace {

using lumenary::testing::CannedHTTPResponse;
using lumenary::testing::FakeHTTPEndpoint;
using lumenary::testing::ReceivedHTTPRequest;

// A scripted server whose tool call asks the client for a ping in the
// middle of its event stream and answers only after the ping's reply came
// in on a POST of its own.
CannedHTTPResponse pingingServer(const ReceivedHTTPRequest& request) {
    const auto message = parseJSON(request.body);
    const auto* method = message.find("method");
    const auto headers = std::vector<std::pair<std::string, std::string>>{{"Mcp-Session-Id", "S"}};
    if (!method) {
        return CannedHTTPResponse{.status = 202, .headers = headers};
    }
    const std::string id = message.find("id") ? writeJSON(*message.find("id")) : "null";
    if (*method == Value("initialize")) {
        auto jsonHeaders = headers;
        jsonHeaders.emplace_back("Content-Type", "application/json");
        return CannedHTTPResponse{
            .headers = jsonHeaders,
            .body = R"({"jsonrpc":"2.0","id":)" + id +
                    R"(,"result":{"protocolVersion":"2025-03-26","capabilities":{"tools":{}},)"
                    R"("serverInfo":{"name":"pinging","version":"1"}}})"};
    }
    if (*method == Value("tools/call")) {
        auto streamHeaders = headers;
        streamHeaders.emplace_back("Content-Type", "text/event-stream");
        return CannedHTTPResponse{
            .headers = streamHeaders,
            .pieces = {R"(data: {"jsonrpc":"2.0","id":"server-ping","method":"ping"})"
                       "\n\n"},
            .heldOpenAfterPieces = true,
            .piecesAfterRelease = {"data: " + std::string(R"({"jsonrpc":"2.0","id":)") + id +
                                   R"(,"result":{"content":[{"type":"text","text":"after ping"}]}})" + "\n\n"}};
    }
    return CannedHTTPResponse{.status = 202, .headers = headers};
}

TEST(ClientOverHTTP, AnswersAPingInTheMiddleOfACallOnASecondPost) {
    FakeHTTPEndpoint endpoint(pingingServer);
    TransportHarness harness;
    HTTPClientTransport::Options options;
    options.streaming = false;
    auto transport = harness.transport(endpoint.url(), options);
    auto client = Client::create(harness.executor(), "http-client", "1.0");
    harness.await(client->connect(transport));

    auto call = harness.start(client->callTool("slow"));
    ASSERT_TRUE(eventually([&] {
        for (const auto& request : endpoint.requests()) {
            if (request.body.find(R"("id":"server-ping")") != std::string::npos &&
                request.body.find(R"("result")") != std::string::npos) {
                return true;
            }
        }
        return false;
    }));
    EXPECT_NE(call.wait_for(0s), std::future_status::ready);
    endpoint.release();
    ASSERT_EQ(call.wait_for(testing::deadline), std::future_status::ready);
    EXPECT_EQ(firstText(call.get()), "after ping");
    harness.await(client->disconnect());
}

}  // namespace
}  // namespace lumenary::mcp
