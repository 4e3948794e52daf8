#include "eventsource/event_source.hpp"

#include <algorithm>

#include <asio/dispatch.hpp>

#include "async/cancellation.hpp"
#include "async/sleep_for.hpp"
#include "eventsource/oversized_event_error.hpp"
#include "http_client/http_header_fields.hpp"

namespace lumenary::eventsource {

namespace {

// The stream's pause in milliseconds, cut to a length a clock can hold.
std::chrono::milliseconds reconnectionPause(std::int64_t milliseconds, std::chrono::milliseconds maximum) {
    return std::min(std::chrono::milliseconds(milliseconds), maximum);
}

}  // namespace

std::shared_ptr<EventSource> EventSource::create(asio::any_io_executor executor, std::string url,
                                                 Callbacks callbacks, Options options) {
    http_client::HTTPClientRequest request{.method = "GET",
                                        .url = std::move(url),
                                        .headers = {{"Accept", "text/event-stream"}, {"Cache-Control", "no-cache"}},
                                        .timeouts = {.idle = std::chrono::seconds(60)}};
    return create(std::move(executor), std::move(request), std::move(callbacks), std::move(options));
}

std::shared_ptr<EventSource> EventSource::create(asio::any_io_executor executor, std::string url,
                                                 Callbacks callbacks) {
    return create(std::move(executor), std::move(url), std::move(callbacks), Options{});
}

std::shared_ptr<EventSource> EventSource::create(asio::any_io_executor executor, http_client::HTTPClientRequest request,
                                                 Callbacks callbacks, Options options) {
    auto source = std::shared_ptr<EventSource>(
        new EventSource(std::move(executor), std::move(request), std::move(callbacks), std::move(options)));
    source->start();
    return source;
}

EventSource::EventSource(asio::any_io_executor executor, http_client::HTTPClientRequest request, Callbacks callbacks,
                         Options options)
    : request_(std::move(request)),
      options_(std::move(options)),
      strand_(asio::make_strand(std::move(executor))),
      client_(http_client::HTTPStreamingClient::create()),
      callbacks_(std::move(callbacks)) {}

EventSource::~EventSource() {
    readyState_ = ReadyState::closed;
    if (connectionTask_) {
        connectionTask_->cancel();
    }
    client_->invalidate();
}

void EventSource::start() {
    connectionTask_ = async::Task::spawn(strand_, connect(weak_from_this()));
}

void EventSource::close() {
    readyState_ = ReadyState::closed;
    if (connectionTask_) {
        connectionTask_->cancel();
    }
}

void EventSource::onOpen(OpenCallback callback) {
    if (!callback) {
        return;
    }
    asio::dispatch(strand_, [weak = weak_from_this(), callback = std::move(callback)]() mutable {
        if (auto self = weak.lock()) self->callbacks_.onOpen = std::move(callback);
    });
}

void EventSource::onMessage(MessageCallback callback) {
    if (!callback) {
        return;
    }
    asio::dispatch(strand_, [weak = weak_from_this(), callback = std::move(callback)]() mutable {
        if (auto self = weak.lock()) self->callbacks_.onMessage = std::move(callback);
    });
}

void EventSource::onError(ErrorCallback callback) {
    if (!callback) {
        return;
    }
    asio::dispatch(strand_, [weak = weak_from_this(), callback = std::move(callback)]() mutable {
        if (auto self = weak.lock()) self->callbacks_.onError = std::move(callback);
    });
}

asio::awaitable<void> EventSource::connect(std::weak_ptr<EventSource> weak) {
    std::size_t maximumLineBytes = 0;
    std::chrono::milliseconds maximumPause{0};
    {
        auto self = weak.lock();
        if (!self) {
            co_return;
        }
        maximumLineBytes = self->options_.maximumLineBytes;
        maximumPause = self->options_.maximumReconnectionTime;
    }
    Parser parser(maximumLineBytes);
    for (;;) {
        const bool cancelled = co_await async::isCancelled();
        auto self = weak.lock();
        if (cancelled || !self || self->isClosed()) {
            if (self) self->readyState_ = ReadyState::closed;
            co_return;
        }
        self.reset();

        std::exception_ptr failure;
        try {
            co_await readStream(weak, parser);
        } catch (...) {
            failure = std::current_exception();
        }
        const bool cancelledDuring = co_await async::isCancelled();
        self = weak.lock();
        if (!self || cancelledDuring || self->isClosed() || (failure && async::isCancellationError(failure))) {
            if (self) self->readyState_ = ReadyState::closed;
            co_return;
        }
        auto onError = self->callbacks_.onError;
        self.reset();
        if (onError) {
            co_await onError(failure);
        }
        bool refused = false;
        if (failure) {
            try {
                std::rethrow_exception(failure);
            } catch (const EventSourceError&) {
                refused = true;
            } catch (...) {
            }
            // The next connection's bytes must never continue a line or an
            // event the broken one left half done.
            parser.discardPartialEvent();
        }
        self = weak.lock();
        if (!self || refused || self->isClosed()) {
            if (self) self->readyState_ = ReadyState::closed;
            co_return;
        }
        self.reset();
        try {
            co_await async::sleepFor(reconnectionPause(parser.reconnectionTime(), maximumPause));
        } catch (...) {
            if (auto owner = weak.lock()) owner->readyState_ = ReadyState::closed;
            co_return;
        }
    }
}

asio::awaitable<void> EventSource::readStream(std::weak_ptr<EventSource> weak, Parser& parser) {
    std::shared_ptr<http_client::HTTPStreamingClient> client;
    http_client::HTTPClientRequest request;
    std::int64_t finalizationCount = 0;
    {
        auto self = weak.lock();
        if (!self) co_return;
        self->readyState_ = ReadyState::connecting;
        request = self->request_;
        client = self->client_;
        finalizationCount = std::max<std::int64_t>(self->options_.maximumFinalizationEventCount, 0);
    }
    if (!parser.lastEventId().empty()) {
        request.headers.add("Last-Event-ID", parser.lastEventId());
    }
    auto exchange = co_await client->start(std::move(request));
    if (exchange.status() != 200) {
        throw EventSourceError::invalidHTTPStatus(exchange.status());
    }
    const auto contentType = exchange.headers().value("Content-Type");
    if (!contentType) {
        throw EventSourceError::invalidContentType(std::nullopt);
    }
    if (!http_client::isMediaType(*contentType, "text/event-stream")) {
        throw EventSourceError::invalidContentType(*contentType);
    }
    OpenCallback onOpen;
    {
        auto self = weak.lock();
        if (!self) co_return;
        self->readyState_ = ReadyState::open;
        onOpen = self->callbacks_.onOpen;
    }
    if (onOpen) {
        co_await onOpen();
    }

    const std::size_t oversizedBefore = parser.oversizedDrops();
    for (;;) {
        auto piece = co_await exchange.next();
        const bool cancelled = co_await async::isCancelled();
        auto self = weak.lock();
        if (!piece || cancelled || !self || self->isClosed()) {
            break;
        }
        self.reset();
        parser.feed(*piece);
        if (parser.oversizedDrops() != oversizedBefore) {
            throw OversizedEventError(parser.maximumLineBytes());
        }
        while (auto event = parser.nextEvent()) {
            co_await deliver(weak, std::move(*event));
        }
    }
    parser.finish();
    for (std::int64_t delivered = 0; delivered < finalizationCount; ++delivered) {
        auto event = parser.nextEvent();
        if (!event) break;
        co_await deliver(weak, std::move(*event));
    }
    static_cast<void>(parser.nextEvent());
}

asio::awaitable<void> EventSource::deliver(std::weak_ptr<EventSource> weak, Event event) {
    MessageCallback onMessage;
    if (auto self = weak.lock()) {
        onMessage = self->callbacks_.onMessage;
    }
    if (onMessage) {
        co_await onMessage(std::move(event));
    }
}

}  // namespace lumenary::eventsource
