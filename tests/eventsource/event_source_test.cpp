#include "eventsource/event_source.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include "eventsource/eventsource_coders.hpp"
#include "support/fake_http_endpoint.hpp"

namespace lumenary::eventsource {
namespace {

using namespace std::chrono_literals;
using testing::CannedHTTPResponse;
using testing::FakeHTTPEndpoint;
using testing::ReceivedHTTPRequest;

template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// What an event source told its callbacks, gathered under a lock.
struct Observed {
    std::mutex mutex;
    int opens = 0;
    std::vector<Event> events;
    std::vector<std::string> errors;  // "clean end" for a null error

    EventSource::Callbacks callbacks(const std::shared_ptr<Observed>& self) {
        return EventSource::Callbacks{
            .onOpen = [self]() -> asio::awaitable<void> {
                std::lock_guard lock(self->mutex);
                ++self->opens;
                co_return;
            },
            .onMessage = [self](Event event) -> asio::awaitable<void> {
                std::lock_guard lock(self->mutex);
                self->events.push_back(std::move(event));
                co_return;
            },
            .onError = [self](std::exception_ptr error) -> asio::awaitable<void> {
                std::string text = "clean end";
                if (error) {
                    try {
                        std::rethrow_exception(error);
                    } catch (const std::exception& failure) {
                        text = failure.what();
                    }
                }
                std::lock_guard lock(self->mutex);
                self->errors.push_back(text);
                co_return;
            }};
    }
    std::vector<std::string> data() {
        std::lock_guard lock(mutex);
        std::vector<std::string> found;
        for (const auto& event : events) found.push_back(event.data);
        return found;
    }
    std::vector<std::string> errorTexts() {
        std::lock_guard lock(mutex);
        return errors;
    }
};

class EventSourceTest : public ::testing::Test {
protected:
    ~EventSourceTest() override {
        work_.reset();
        io_.stop();
        thread_.join();
    }

    std::shared_ptr<EventSource> open(const FakeHTTPEndpoint& endpoint, EventSource::Options options = {}) {
        if (options.maximumReconnectionTime == std::chrono::milliseconds(std::chrono::hours(24))) {
            options.maximumReconnectionTime = 20ms;
        }
        return EventSource::create(io_.get_executor(), endpoint.url("/events"), observed->callbacks(observed),
                                   options);
    }

    std::shared_ptr<Observed> observed = std::make_shared<Observed>();

private:
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(io_);
    std::thread thread_{[this] { io_.run(); }};
};

CannedHTTPResponse stream(std::string body) {
    return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}}, .body = std::move(body)};
}

TEST_F(EventSourceTest, AnswersThatAreNotEventStreamsCloseItWithTheirError) {
    struct Case {
        CannedHTTPResponse response;
        std::string error;
    };
    const std::vector<Case> cases = {
        {CannedHTTPResponse{.status = 204}, "Invalid HTTP response status code: 204"},
        {CannedHTTPResponse{.status = 500, .headers = {{"Content-Type", "text/event-stream"}}},
         "Invalid HTTP response status code: 500"},
        {CannedHTTPResponse{.headers = {{"Content-Type", "application/json"}}, .body = "{}"},
         "Invalid Content-Type for SSE: application/json"},
        {CannedHTTPResponse{.body = "data: x\n\n"}, "Missing Content-Type header in SSE response"},
    };
    for (const auto& testCase : cases) {
        observed = std::make_shared<Observed>();
        FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) { return testCase.response; });
        auto source = open(endpoint);
        ASSERT_TRUE(eventually([&] { return source->readyState() == ReadyState::closed; })) << testCase.error;
        ASSERT_TRUE(eventually([&] { return !observed->errorTexts().empty(); }));
        EXPECT_EQ(observed->errorTexts(), std::vector<std::string>{testCase.error});
        EXPECT_EQ(endpoint.requests().size(), 1u) << testCase.error;
        EXPECT_TRUE(observed->data().empty());
    }
}

TEST_F(EventSourceTest, ReconnectsAfterTheStreamSetsRetryCarryingTheLastEventId) {
    std::atomic<int> served{0};
    FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) {
        switch (++served) {
            case 1: return stream("retry: 5\nid: 41\ndata: first\n\ndata: unterminated");
            case 2: return stream("data: no id here\n\n");
            default: return CannedHTTPResponse{.headers = {{"Content-Type", "TEXT/Event-Stream; charset=utf-8"}},
                                               .heldOpenAfterPieces = true};
        }
    });
    auto source = open(endpoint);
    ASSERT_TRUE(endpoint.waitForRequests(3));
    ASSERT_TRUE(eventually([&] { return source->readyState() == ReadyState::open; }));
    EXPECT_EQ(observed->data(), (std::vector<std::string>{"first", "unterminated", "no id here"}));
    EXPECT_EQ(observed->errorTexts(), (std::vector<std::string>{"clean end", "clean end"}));

    const auto requests = endpoint.requests();
    EXPECT_EQ(requests[0].header("accept"), "text/event-stream");
    EXPECT_EQ(requests[0].header("cache-control"), "no-cache");
    EXPECT_EQ(requests[0].header("last-event-id"), std::nullopt);
    EXPECT_EQ(requests[1].header("last-event-id"), "41");
    EXPECT_EQ(requests[2].header("last-event-id"), "41");
    source->close();
    EXPECT_EQ(source->readyState(), ReadyState::closed);
    endpoint.release();
}

TEST_F(EventSourceTest, EmptyIdStopsTheLastEventIdHeader) {
    std::atomic<int> served{0};
    FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) {
        if (++served == 1) return stream("id: 7\ndata: a\n\nid\ndata: b\n\n");
        return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}}, .heldOpenAfterPieces = true};
    });
    auto source = open(endpoint);
    ASSERT_TRUE(endpoint.waitForRequests(2));
    EXPECT_EQ(endpoint.requests()[1].header("last-event-id"), std::nullopt);
    source->close();
    endpoint.release();
}

TEST_F(EventSourceTest, FinalizationCountZeroDropsTheEventOnlyTheEndCompleted) {
    std::atomic<int> served{0};
    FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) {
        if (++served == 1) return stream("data: kept\n\ndata: dropped");
        return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}}, .heldOpenAfterPieces = true};
    });
    auto source = open(endpoint, EventSource::Options{.maximumFinalizationEventCount = 0});
    ASSERT_TRUE(endpoint.waitForRequests(2));
    EXPECT_EQ(observed->data(), std::vector<std::string>{"kept"});
    source->close();
    endpoint.release();
}

TEST_F(EventSourceTest, ABrokenStreamLeavesNothingHalfDoneForTheNext) {
    std::atomic<int> served{0};
    FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) {
        if (++served == 1) {
            return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}},
                                      .pieces = {"retry: 5\nid: 3\ndata: whole\n\ndata: half\ndata: cut sh"},
                                      .hangUpAfterPieces = true};
        }
        return stream("data: fresh\n\n");
    });
    auto source = open(endpoint);
    ASSERT_TRUE(eventually([&] { return observed->data().size() >= 2; }));
    source->close();
    EXPECT_EQ(observed->data().at(0), "whole");
    EXPECT_EQ(observed->data().at(1), "fresh");
    EXPECT_EQ(endpoint.requests().at(1).header("last-event-id"), "3");
    const auto errors = observed->errorTexts();
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(errors[0], "clean end");
}

TEST_F(EventSourceTest, AHugeRetryValueIsCappedInsteadOfOverflowingThePause) {
    std::atomic<int> served{0};
    FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) {
        if (++served == 1) return stream("retry: 9223372036854775807\n\n");
        return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}}, .heldOpenAfterPieces = true};
    });
    auto source = open(endpoint);
    EXPECT_TRUE(endpoint.waitForRequests(2));
    source->close();
    endpoint.release();
}

TEST_F(EventSourceTest, CloseDuringThePauseEndsItWithoutAnotherRequest) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) { return stream("data: once\n\n"); });
    auto source = open(endpoint, EventSource::Options{.maximumReconnectionTime = 60s});
    ASSERT_TRUE(eventually([&] { return observed->errorTexts().size() == 1; }));
    source->close();
    EXPECT_EQ(source->readyState(), ReadyState::closed);
    EXPECT_EQ(endpoint.requests().size(), 1u);
    EXPECT_EQ(observed->errorTexts(), std::vector<std::string>{"clean end"});
}

TEST_F(EventSourceTest, ASourceItsOwnerLetsGoClosesItsStream) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) {
        return CannedHTTPResponse{
            .headers = {{"Content-Type", "text/event-stream"}}, .pieceDelay = 5ms, .trickle = "data: tick\n\n"};
    });
    auto source = open(endpoint);
    ASSERT_TRUE(eventually([&] { return !observed->data().empty(); }));
    std::weak_ptr<EventSource> weak = source;
    source.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_TRUE(eventually([&] { return endpoint.openConnectionCount() == 0; }));
}

TEST_F(EventSourceTest, AnEmptyCallbackLeavesTheEarlierOneInPlace) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) {
        return CannedHTTPResponse{.headers = {{"Content-Type", "text/event-stream"}},
                                  .pieces = {"data: a\n\n"},
                                  .heldOpenAfterPieces = true};
    });
    auto source = open(endpoint);
    source->onMessage(nullptr);
    ASSERT_TRUE(eventually([&] { return observed->data() == std::vector<std::string>{"a"}; }));
    source->close();
    endpoint.release();
}

TEST(ReadyStateTest, TravelsAsItsRawValueAndRefusesOthers) {
    EXPECT_EQ(mcp::encodeValue(ReadyState::open), mcp::Value(1));
    EXPECT_EQ(mcp::decodeValue<ReadyState>(mcp::Value(2)), ReadyState::closed);
    EXPECT_THROW(mcp::decodeValue<ReadyState>(mcp::Value(3)), mcp::DecodingError);
    EXPECT_EQ(readyStateFromRawValue(-1), std::nullopt);
}

}  // namespace
}  // namespace lumenary::eventsource
