#include "app/http/event_stream.hpp"

#include <array>

#include <asio/buffer.hpp>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "app/http/event_stream_text.hpp"

namespace lumenary::http {

std::shared_ptr<EventStream> EventStream::create(std::shared_ptr<HTTPConnection> connection, std::string clientID,
                                                 std::string sessionID, Options options, logging::Console console) {
    return std::shared_ptr<EventStream>(
        new EventStream(std::move(connection), std::move(clientID), std::move(sessionID), options, std::move(console)));
}

EventStream::EventStream(std::shared_ptr<HTTPConnection> connection, std::string clientID, std::string sessionID,
                         Options options, logging::Console console)
    : connection_(std::move(connection)),
      clientID_(std::move(clientID)),
      sessionID_(std::move(sessionID)),
      options_(options),
      console_(std::move(console)),
      heartbeat_(connection_->socket().get_executor()) {}

void EventStream::send(std::string text) {
    asio::post(connection_->socket().get_executor(),
               [self = shared_from_this(), text = std::move(text)]() mutable { self->enqueue(std::move(text)); });
}

void EventStream::enqueue(std::string text) {
    if (hasEnded_) {
        return;
    }
    if (backlogBytes_ + text.size() > options_.maximumBacklogBytes) {
        console_.print("SSE client ", clientID_, " is too far behind; closing its stream");
        end();
        return;
    }
    backlogBytes_ += text.size();
    pending_.push_back(std::move(text));
    if (!std::exchange(isWriting_, true)) {
        asio::co_spawn(connection_->socket().get_executor(), writeLoop(), asio::detached);
    }
}

asio::awaitable<void> EventStream::writeLoop() {
    const auto self = shared_from_this();
    std::vector<std::string> batch;
    std::vector<asio::const_buffer> buffers;
    for (;;) {
        batch.clear();
        batch.swap(pending_);
        if (batch.empty() || hasEnded_) {
            isWriting_ = false;
            co_return;
        }
        buffers.clear();
        std::size_t bytes = 0;
        for (const auto& text : batch) {
            buffers.push_back(asio::buffer(text));
            bytes += text.size();
        }
        asio::error_code error;
        co_await asio::async_write(connection_->socket(), buffers, asio::redirect_error(asio::use_awaitable, error));
        backlogBytes_ -= bytes;
        if (error) {
            if (!hasEnded_) {
                console_.print("Error sending SSE message: ", error.message());
            }
            isWriting_ = false;
            end();
            co_return;
        }
    }
}

void EventStream::monitor(EndHandler onEnd) {
    if (hasEnded_) {
        // Its first writes failed already.
        onEnd(shared_from_this());
        return;
    }
    onEnd_ = std::move(onEnd);
    console_.print("Monitoring SSE client: ", clientID_, " for session: ", sessionID_);
    const auto executor = connection_->socket().get_executor();
    asio::co_spawn(executor, heartbeatLoop(), asio::detached);
    asio::co_spawn(executor, receiveLoop(), asio::detached);
}

asio::awaitable<void> EventStream::heartbeatLoop() {
    const auto self = shared_from_this();
    for (;;) {
        heartbeat_.expires_after(options_.heartbeatInterval);
        asio::error_code error;
        co_await heartbeat_.async_wait(asio::redirect_error(asio::use_awaitable, error));
        if (hasEnded_) {
            console_.print("Heartbeat loop: client ", clientID_, " no longer exists");
            co_return;
        }
        enqueue(std::string(heartbeatComment));
        console_.print("Heartbeat sent to client ", clientID_);
    }
}

asio::awaitable<void> EventStream::receiveLoop() {
    const auto self = shared_from_this();
    std::array<char, 4096> buffer;
    for (;;) {
        asio::error_code error;
        const std::size_t count = co_await connection_->socket().async_read_some(
            asio::buffer(buffer), asio::redirect_error(asio::use_awaitable, error));
        if (count > 0) {
            console_.print("Received unexpected data from SSE client ", clientID_, ": ", std::to_string(count),
                           " bytes");
        }
        if (error == asio::error::eof) {
            console_.print("SSE client disconnected: ", clientID_);
        } else if (error && !hasEnded_) {
            console_.print("SSE client error: ", error.message());
        }
        if (error) {
            end();
            co_return;
        }
    }
}

void EventStream::close() {
    asio::post(connection_->socket().get_executor(), [self = shared_from_this()] { self->end(); });
}

void EventStream::end() {
    if (hasEnded_) {
        return;
    }
    hasEnded_ = true;
    pending_.clear();
    connection_->end();
    heartbeat_.cancel();
    if (auto onEnd = std::move(onEnd_)) {
        onEnd(shared_from_this());
    }
}

}  // namespace lumenary::http
