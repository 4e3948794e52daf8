#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/strand.hpp>

#include "async/task.hpp"
#include "eventsource/event.hpp"
#include "eventsource/event_source_error.hpp"
#include "eventsource/parser.hpp"
#include "eventsource/ready_state.hpp"
#include "http_client/http_client.hpp"
#include "http_client/http_streaming_client.hpp"

namespace lumenary::eventsource {

// A client for one server-sent event stream. It sends a GET for the stream,
// checks that the answer is 200 with an event stream, hands each event to
// its message callback and, when the stream ends or breaks, waits for the
// reconnection time the stream may set and connects again, sending the last
// event id as "Last-Event-ID" while that is not empty. An answer that is not
// an event stream closes it for good (EventSourceError), as does close() or
// its owner letting it go.
//
// Its strand guards the callbacks and runs the connect loop, which holds the
// source weakly; readyState is an atomic, readable from any thread.
class EventSource : public std::enable_shared_from_this<EventSource> {
public:
    using Event = eventsource::Event;
    using Parser = eventsource::Parser;
    using ReadyState = eventsource::ReadyState;

    using OpenCallback = std::function<asio::awaitable<void>()>;
    using MessageCallback = std::function<asio::awaitable<void>(Event)>;
    // A failure, or null at the clean end of a stream.
    using ErrorCallback = std::function<asio::awaitable<void>(std::exception_ptr)>;

    // In place before the first connection starts, so no event is lost to
    // a start-up race.
    struct Callbacks {
        OpenCallback onOpen{};
        MessageCallback onMessage{};
        ErrorCallback onError{};
    };

    struct Options {
        // How many events that only the end of a stream completed are still
        // delivered; one more is dropped, the rest stay in the parser.
        std::int64_t maximumFinalizationEventCount = 100;
        // The stream may ask for pauses of up to 2^63-1 ms; longer ones are
        // cut to this.
        std::chrono::milliseconds maximumReconnectionTime{std::chrono::hours(24)};
        std::size_t maximumLineBytes = Parser::defaultMaximumLineBytes;
    };

    // A GET for `url` with "Accept: text/event-stream", "Cache-Control:
    // no-cache" and an idle limit of 60 s, connecting at once.
    static std::shared_ptr<EventSource> create(asio::any_io_executor executor, std::string url, Callbacks callbacks,
                                               Options options);
    static std::shared_ptr<EventSource> create(asio::any_io_executor executor, std::string url, Callbacks callbacks);
    // `request` as given, sent again on every attempt.
    static std::shared_ptr<EventSource> create(asio::any_io_executor executor, http_client::HTTPClientRequest request,
                                               Callbacks callbacks, Options options);

    ~EventSource();
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;

    const http_client::HTTPClientRequest& request() const noexcept { return request_; }
    const std::string& url() const noexcept { return request_.url; }
    ReadyState readyState() const noexcept { return readyState_; }

    // Replace a callback; an empty one changes nothing. Applied on the
    // strand, in order with the loop's work there.
    void onOpen(OpenCallback callback);
    void onMessage(MessageCallback callback);
    void onError(ErrorCallback callback);

    // Closed for good: the loop ends at its next step, also in a pause.
    void close();

private:
    EventSource(asio::any_io_executor executor, http_client::HTTPClientRequest request, Callbacks callbacks,
                Options options);

    void start();
    bool isClosed() const noexcept { return readyState_ == ReadyState::closed; }

    static asio::awaitable<void> connect(std::weak_ptr<EventSource> weak);
    // One attempt: the request, the checks of the answer, the stream read to
    // its end and the events its end completed.
    static asio::awaitable<void> readStream(std::weak_ptr<EventSource> weak, Parser& parser);
    static asio::awaitable<void> deliver(std::weak_ptr<EventSource> weak, Event event);

    const http_client::HTTPClientRequest request_;
    const Options options_;
    asio::strand<asio::any_io_executor> strand_;
    std::shared_ptr<http_client::HTTPStreamingClient> client_;
    std::atomic<ReadyState> readyState_{ReadyState::connecting};
    Callbacks callbacks_;
    std::optional<async::Task> connectionTask_;
};

}  // namespace lumenary::eventsource
