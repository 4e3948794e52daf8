// What the client writes and how it treats what it reads, over a transport
// the test drives by hand.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <asio/post.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "mcp/client/client_harness.hpp"
#include "mcp/server/server_harness.hpp"
#include "support/recording_transport.hpp"

namespace lumenary::mcp {
namespace {

using testing::failureOf;

template <typename T>
asio::awaitable<void> discarding(asio::awaitable<T> operation) {
    co_await std::move(operation);
}

class ClientWire : public ::testing::Test {
protected:
    ~ClientWire() override {
        complete(client_->disconnect());
        async::test::runReady(io_);
    }

    template <typename T>
    T complete(asio::awaitable<T> operation) {
        return async::test::runToEnd(io_, std::move(operation));
    }

    template <typename T>
    std::shared_ptr<const Outcome<T>> launch(asio::awaitable<T> operation) {
        auto outcome = std::make_shared<Outcome<T>>();
        asio::co_spawn(io_, discarding(std::move(operation)), [outcome](std::exception_ptr error) {
            outcome->error = error;
            outcome->done = true;
        });
        return outcome;
    }

    template <typename T>
    std::string failureWhenDone(const std::shared_ptr<const Outcome<T>>& outcome) {
        EXPECT_TRUE(async::test::runUntil(io_, [&] { return outcome->done; }));
        return failureOf([&] {
            if (outcome->error) std::rethrow_exception(outcome->error);
        });
    }

    std::string nextSent() { return complete(transport_->nextSent()); }

    void answer(const std::string& request, const std::string& result) {
        transport_->deliver(R"({"jsonrpc":"2.0","id":")" + stringIDOf(request) + R"(","result":)" + result + "}");
    }

    // The handshake's two messages, once the test has answered the first.
    std::vector<std::string> connect() {
        auto connected = launch(client_->connect(transport_));
        const auto initialize = nextSent();
        answer(
            initialize,
            R"({"protocolVersion":"2025-03-26","capabilities":{"tools":{}},"serverInfo":{"name":"s","version":"1"}})");
        EXPECT_EQ(failureWhenDone(connected), "");
        return {initialize, nextSent()};
    }

    asio::io_context io_;
    std::shared_ptr<testing::RecordingTransport> transport_ = testing::RecordingTransport::create(io_.get_executor());
    std::shared_ptr<Client> client_ = Client::create(io_.get_executor(), "wire-client", "1.0");
};

TEST_F(ClientWire, ALostConnectionFailsItsWaitingRequestsOnceTheAnswersItBroughtAreRead) {
    // A handler that lets others run, so the loop is busy while the loss is told.
    client_->onNotification<ToolListChangedNotification>(
        [](Message<ToolListChangedNotification>) -> asio::awaitable<void> {
            co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable);
        });
    connect();
    auto answered = launch(client_->ping());
    const auto first = nextSent();
    auto lost = launch(client_->ping());
    (void)nextSent();

    // The notification and the answer came over the connection before it
    // was lost; the answer still waits in the stream when the loss is told.
    transport_->deliver(R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})");
    answer(first, "{}");
    transport_->replaceConnection();

    EXPECT_EQ(failureWhenDone(answered), "");
    EXPECT_EQ(failureWhenDone(lost), "Connection closed");

    auto later = launch(client_->ping());
    answer(nextSent(), "{}");
    EXPECT_EQ(failureWhenDone(later), "");
}

TEST_F(ClientWire, WritesEachRequestWithAFreshIDAndParamsAlwaysPresent) {
    EXPECT_EQ(maskFreshIDs(connect()[0]),
              R"({"id":"<fresh>","jsonrpc":"2.0","method":"initialize","params":{"capabilities":{},)"
              R"("clientInfo":{"name":"wire-client","version":"1.0"},"protocolVersion":"2025-03-26"}})");
    EXPECT_EQ(transport_->sent()[1], R"({"jsonrpc":"2.0","method":"notifications\/initialized"})");

    const std::vector<std::pair<std::function<asio::awaitable<void>()>, std::string>> cases = {
        {[&] { return client_->ping(); }, R"("method":"ping","params":{}})"},
        {[&] { return discarding(client_->listTools()); }, R"("method":"tools\/list","params":{}})"},
        {[&] { return discarding(client_->listTools("c2")); }, R"("method":"tools\/list","params":{"cursor":"c2"}})"},
        {[&] { return discarding(client_->callTool("echo")); }, R"("method":"tools\/call","params":{"name":"echo"}})"},
        {[&] { return discarding(client_->callTool("echo", std::map<std::string, Value>{})); },
         R"("method":"tools\/call","params":{"arguments":{},"name":"echo"}})"},
    };
    std::set<std::string> ids;
    for (const auto& [operation, expected] : cases) {
        auto outcome = launch(operation());
        const auto request = nextSent();
        EXPECT_EQ(maskFreshIDs(request), R"({"id":"<fresh>","jsonrpc":"2.0",)" + expected);
        ids.insert(stringIDOf(request));
        answer(request, R"({"content":[],"tools":[]})");
        EXPECT_EQ(failureWhenDone(outcome), "") << expected;
    }
    EXPECT_EQ(ids.size(), cases.size());
}

TEST_F(ClientWire, SendsABatchAsOneArrayAndMatchesAnswersInAnyOrder) {
    connect();
    std::optional<PendingRequest<Empty>> ping;
    std::optional<PendingRequest<ListTools::Result>> tools;
    std::optional<PendingRequest<CallTool::Result>> call;
    complete(client_->withBatch([&](Client::Batch& batch) -> asio::awaitable<void> {
        // Each request is made apart from the co_await: g++ 12 destroys a
        // braced temporary of such a statement twice.
        Request<Ping> first("a", {});
        Request<ListTools> second("b", {});
        Request<CallTool> third("c", {"x"});
        ping = co_await batch.addRequest(std::move(first));
        tools = co_await batch.addRequest(std::move(second));
        call = co_await batch.addRequest(std::move(third));
    }));
    EXPECT_EQ(nextSent(), R"([{"id":"a","jsonrpc":"2.0","method":"ping","params":{}},)"
                          R"({"id":"b","jsonrpc":"2.0","method":"tools\/list","params":{}},)"
                          R"({"id":"c","jsonrpc":"2.0","method":"tools\/call","params":{"name":"x"}}])");

    transport_->deliver(R"([{"jsonrpc":"2.0","id":"c","error":{"code":1234,"message":"Nope"}},)"
                        R"({"jsonrpc":"2.0","id":"z","result":{}},)"
                        R"({"jsonrpc":"2.0","id":"a","result":{}},)"
                        R"({"jsonrpc":"2.0","id":"b","result":{"tools":[]}}])");
    complete(ping->wait());
    EXPECT_TRUE(complete(tools->wait()).tools.empty());
    EXPECT_EQ(failureOf([&] { complete(call->wait()); }), "Server error: Nope");
    EXPECT_EQ(
        transport_->recordsWithMessage("Received response in batch for unknown or already handled request ID").size(),
        1U);

    complete(client_->withBatch([](Client::Batch&) -> asio::awaitable<void> { co_return; }));
    EXPECT_EQ(transport_->sentCount(), 3U);
}

TEST_F(ClientWire, ABatchThatIsNeverSentFailsItsRequests) {
    connect();
    for (const bool transportFails : {false, true}) {
        transport_->failSends(transportFails ? std::make_exception_ptr(std::runtime_error("pipe broke")) : nullptr);
        std::optional<PendingRequest<Empty>> ping;
        const auto failure = failureOf([&] {
            complete(client_->withBatch([&](Client::Batch& batch) -> asio::awaitable<void> {
                Request<Ping> request(ID::random(), {});
                ping = co_await batch.addRequest(std::move(request));
                if (!transportFails) throw std::runtime_error("changed my mind");
            }));
        });
        EXPECT_EQ(failure, transportFails ? "pipe broke" : "changed my mind");
        EXPECT_EQ(failureOf([&] { complete(ping->wait()); }), failure);
    }
    EXPECT_EQ(transport_->sentCount(), 2U);
}

TEST_F(ClientWire, RefusesASecondRequestUnderAWaitingID) {
    connect();
    auto first = launch(client_->send(Request<Ping>("same", {})));
    const auto request = nextSent();
    const std::string refusal = "Invalid Request: Request ID is already pending: same";
    EXPECT_EQ(failureOf([&] { complete(client_->send(Request<Ping>("same", {}))); }), refusal);
    EXPECT_EQ(failureOf([&] {
                  complete(client_->withBatch([](Client::Batch& batch) -> asio::awaitable<void> {
                      Request<Ping> duplicate("same", {});
                      co_await batch.addRequest(std::move(duplicate));
                  }));
              }),
              refusal);
    answer(request, "{}");
    EXPECT_EQ(failureWhenDone(first), "");
}

TEST_F(ClientWire, DisconnectFailsEveryWaitingRequest) {
    connect();
    auto first = launch(client_->ping());
    auto second = launch(client_->listTools());
    nextSent();
    nextSent();
    complete(client_->disconnect());
    EXPECT_EQ(failureWhenDone(first), "Internal error: Client disconnected");
    EXPECT_EQ(failureWhenDone(second), "Internal error: Client disconnected");
}

TEST_F(ClientWire, AResultOfTheWrongShapeFailsWithTypeMismatch) {
    connect();
    auto listing = launch(client_->listTools());
    answer(nextSent(), R"({"tools":"none"})");
    EXPECT_EQ(failureWhenDone(listing), TypeMismatchError().what());
}

TEST_F(ClientWire, AnswersEveryRequestFromTheServer) {
    connect();
    const auto replyTo = [&](const std::string& request) {
        transport_->deliver(request);
        return nextSent();
    };
    const std::string sampling =
        R"({"jsonrpc":"2.0","id":"s1","method":"sampling/createMessage",)"
        R"("params":{"messages":[{"role":"user","content":{"type":"text","text":"Hi"}}],"maxTokens":5}})";
    const std::string notFound =
        R"({"error":{"code":-32601,"data":{"detail":"Unknown method: sampling\/createMessage"},)"
        R"("message":"Method not found: Unknown method: sampling\/createMessage"},"id":"s1","jsonrpc":"2.0"})";
    EXPECT_EQ(replyTo(sampling), notFound);

    client_->withSamplingHandler(
        [](CreateSamplingMessage::Parameters parameters) -> asio::awaitable<CreateSamplingMessage::Result> {
            const auto& said = std::get<Sampling::Message::TextContent>(parameters.messages.at(0).content).text;
            co_return CreateSamplingMessage::Result{"test-model", Sampling::StopReason::endTurn(),
                                                    Sampling::Message::Role::assistant,
                                                    Sampling::Message::TextContent{"echo: " + said}};
        });
    EXPECT_EQ(replyTo(sampling), R"({"id":"s1","jsonrpc":"2.0","result":{"content":{"text":"echo: Hi","type":"text"},)"
                                 R"("model":"test-model","role":"assistant","stopReason":"endTurn"}})");
    EXPECT_EQ(replyTo(R"({"jsonrpc":"2.0","id":7,"method":"ping"})"), R"({"id":7,"jsonrpc":"2.0","result":{}})");
    EXPECT_EQ(replyTo(R"({"jsonrpc":"2.0","id":8,"method":"roots/list"})"),
              R"({"error":{"code":-32601,"data":{"detail":"Unknown method: roots\/list"},)"
              R"("message":"Method not found: Unknown method: roots\/list"},"id":8,"jsonrpc":"2.0"})");
    EXPECT_NE(
        replyTo(R"({"jsonrpc":"2.0","id":9,"method":"sampling/createMessage","params":{}})").find(R"("code":-32602)"),
        std::string::npos);

    transport_->deliver("not JSON");
    EXPECT_EQ(replyTo(R"({"jsonrpc":"2.0","id":10,"method":"ping"})"), R"({"id":10,"jsonrpc":"2.0","result":{}})");
    const auto unexpected = transport_->recordsWithMessage(
        "Unexpected message received by client (not single/batch response or notification)");
    ASSERT_EQ(unexpected.size(), 1U);
    EXPECT_EQ(unexpected[0].metadata->at("message").description(), "not JSON");
}

struct StreamEnd {
    const char* name;
    std::optional<MCPError> error;
    std::string reason;
};

class ClientStreamEnd : public ClientWire, public ::testing::WithParamInterface<StreamEnd> {};

TEST_P(ClientStreamEnd, FailsWaitingRequestsAtOnceAndRefusesLaterOnes) {
    connect();
    auto waiting = launch(client_->ping());
    nextSent();
    const auto& error = GetParam().error;
    transport_->endIncoming(error ? std::make_exception_ptr(*error) : nullptr);
    EXPECT_EQ(failureWhenDone(waiting), GetParam().reason);
    EXPECT_EQ(failureOf([&] { complete(client_->ping()); }), GetParam().reason);
    EXPECT_EQ(transport_->sentCount(), 3U);
}

INSTANTIATE_TEST_SUITE_P(
    , ClientStreamEnd,
    ::testing::Values(StreamEnd{"Finished", std::nullopt, "Connection closed"},
                      StreamEnd{"Failed",
                                MCPError::transportError(std::make_exception_ptr(std::runtime_error("reset"))),
                                "Transport error: reset"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace lumenary::mcp
