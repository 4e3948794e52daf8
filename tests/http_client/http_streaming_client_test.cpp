#include "http_client/http_streaming_client.hpp"

#include <gtest/gtest.h>

#include <thread>

#include <asio/experimental/awaitable_operators.hpp>
#include <asio/post.hpp>
#include <asio/this_coro.hpp>

#include "support/fake_http_endpoint.hpp"
#include "support/run_awaitable.hpp"

namespace lumenary::http_client {
namespace {

using namespace std::chrono_literals;
using testing::CannedHTTPResponse;
using testing::FakeHTTPEndpoint;
using testing::ReceivedHTTPRequest;
using testing::runAwaitable;

HTTPClientRequest get(const std::string& url, std::chrono::milliseconds idle = 10s) {
    return HTTPClientRequest{.method = "GET", .url = url, .timeouts = {.idle = idle}};
}

// The body's pieces up to `count` bytes, joined.
asio::awaitable<std::string> readBytes(HTTPStreamingExchange& exchange, std::size_t count) {
    std::string bytes;
    while (bytes.size() < count) {
        auto piece = co_await exchange.next();
        if (!piece) break;
        bytes += *piece;
    }
    co_return bytes;
}

HTTPClientError::Kind failureKind(asio::awaitable<void> operation) {
    try {
        runAwaitable(std::move(operation));
    } catch (const HTTPClientFailure& failure) {
        return failure.error().kind;
    }
    ADD_FAILURE() << "the operation did not fail";
    return HTTPClientError::Kind::failed;
}

TEST(HTTPStreamingClient, HandsOverTheHeadAndEachPieceWhileTheStreamIsStillOpen) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        return CannedHTTPResponse{.status = 201,
                                  .headers = {{"Content-Type", "text/event-stream"}, {"X-Echo", request.body}},
                                  .pieces = {"one ", "two"},
                                  .pieceDelay = 5ms,
                                  .heldOpenAfterPieces = true};
    });
    auto client = HTTPStreamingClient::create();
    const HTTPClientRequest post{
        .method = "POST", .url = endpoint.url(), .headers = {{"Content-Type", "text/plain"}}, .body = "hello"};
    runAwaitable([&]() -> asio::awaitable<void> {
        auto exchange = co_await client->start(post);
        EXPECT_EQ(exchange.status(), 201);
        EXPECT_EQ(exchange.headers().value("x-echo"), std::string("hello"));
        // Both pieces arrive while the server still holds the body open.
        EXPECT_EQ(co_await readBytes(exchange, 7), "one two");
        endpoint.release();
        const auto got1 = co_await exchange.next();
        EXPECT_EQ(got1, std::nullopt);
    }());
    EXPECT_EQ(endpoint.requests().at(0).body, "hello");
}

TEST(HTTPStreamingClient, RunsSeveralExchangesAtOnce) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        return CannedHTTPResponse{.pieces = {request.path}, .heldOpenAfterPieces = true};
    });
    auto client = HTTPStreamingClient::create();
    runAwaitable([&]() -> asio::awaitable<void> {
        auto first = co_await client->start(get(endpoint.url("/first")));
        auto second = co_await client->start(get(endpoint.url("/second")));
        const auto got2 = co_await readBytes(second, 7);
        EXPECT_EQ(got2, std::string("/second"));
        const auto got3 = co_await readBytes(first, 6);
        EXPECT_EQ(got3, std::string("/first"));
        endpoint.release();
        const auto got4 = co_await first.next();
        EXPECT_EQ(got4, std::nullopt);
        const auto got5 = co_await second.next();
        EXPECT_EQ(got5, std::nullopt);
    }());
}

TEST(HTTPStreamingClient, ReportsEachFailureOfTheHeadOrTheBody) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& request) {
        if (request.path == "/hang-up") return CannedHTTPResponse{.pieces = {"part"}, .hangUpAfterPieces = true};
        if (request.path == "/quiet") return CannedHTTPResponse{.pieces = {"part"}, .heldOpenAfterPieces = true};
        return CannedHTTPResponse{.hangUp = true};
    });
    auto client = HTTPStreamingClient::create();
    const auto readAll = [&](HTTPClientRequest request) -> asio::awaitable<void> {
        auto exchange = co_await client->start(std::move(request));
        while (co_await exchange.next()) {
        }
    };
    struct Case {
        const char* name;
        HTTPClientRequest request;
        HTTPClientError::Kind kind;
    };
    const std::vector<Case> cases = {
        {"refused", get("http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()) + "/mcp"),
         HTTPClientError::Kind::couldNotConnect},
        {"noHead", get(endpoint.url("/no-head")), HTTPClientError::Kind::failed},
        {"hangUpInsideTheBody", get(endpoint.url("/hang-up")), HTTPClientError::Kind::failed},
        {"idleLimitInsideTheBody", get(endpoint.url("/quiet"), 150ms), HTTPClientError::Kind::timedOut},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(failureKind(readAll(testCase.request)), testCase.kind) << testCase.name;
    }
    endpoint.release();
}

TEST(HTTPStreamingClient, CancellingAnExchangeOrInvalidatingTheClientEndsItsBody) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) {
        return CannedHTTPResponse{.pieces = {"part"}, .heldOpenAfterPieces = true};
    });
    auto client = HTTPStreamingClient::create();
    EXPECT_EQ(failureKind([&]() -> asio::awaitable<void> {
                  auto exchange = co_await client->start(get(endpoint.url()));
                  co_await exchange.next();
                  exchange.cancel();
                  co_await exchange.next();
              }()),
              HTTPClientError::Kind::cancelled);
    EXPECT_EQ(failureKind([&]() -> asio::awaitable<void> {
                  auto exchange = co_await client->start(get(endpoint.url()));
                  co_await exchange.next();
                  client->invalidate();
                  co_await exchange.next();
              }()),
              HTTPClientError::Kind::cancelled);
    EXPECT_EQ(failureKind([&]() -> asio::awaitable<void> { co_await client->start(get(endpoint.url())); }()),
              HTTPClientError::Kind::cancelled);
    endpoint.release();
}

TEST(HTTPStreamingClient, ABodyLargerThanTheBufferArrivesWholeThroughPauses) {
    // Far more than the 64 KiB the client may hold unread, so the transfer
    // pauses again and again while the reader catches up.
    std::vector<std::string> pieces;
    std::string expected;
    for (int index = 0; index < 64; ++index) {
        pieces.push_back(std::string(32 * 1024, static_cast<char>('a' + index % 26)));
        expected += pieces.back();
    }
    FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) { return CannedHTTPResponse{.pieces = pieces}; });
    auto client = HTTPStreamingClient::create(64 * 1024);
    const auto received = runAwaitable([&]() -> asio::awaitable<std::string> {
        auto exchange = co_await client->start(get(endpoint.url()));
        co_return co_await readBytes(exchange, expected.size() + 1);
    }());
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
}

// A stream always ahead of its reader leaves a piece waiting at every
// next(): another handler on the reader's executor must still run.
TEST(HTTPStreamingClient, AReaderBehindAnEndlessStreamLetsOtherHandlersRun) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) {
        return CannedHTTPResponse{.pieces = {"start"}, .trickle = std::string(4096, 'x')};
    });
    auto client = HTTPStreamingClient::create();
    constexpr int mostPieces = 200;
    const int piecesBeforeTheHandler = runAwaitable([&]() -> asio::awaitable<int> {
        auto exchange = co_await client->start(get(endpoint.url()));
        const auto executor = co_await asio::this_coro::executor;
        bool handlerRan = false;
        int pieces = 0;
        while (!handlerRan && pieces < mostPieces && co_await exchange.next()) {
            // Posted once the stream runs: before, the reader waits for it.
            if (++pieces == 1) {
                asio::post(executor, [&handlerRan] { handlerRan = true; });
            }
            // The reader's own work on each piece, slower than the stream.
            std::this_thread::sleep_for(1ms);
        }
        co_return pieces;
    }());
    EXPECT_LT(piecesBeforeTheHandler, mostPieces);
}

}  // namespace
}  // namespace lumenary::http_client
