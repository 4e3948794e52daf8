#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/strand.hpp>

#include "async/on_strand.hpp"
#include "async/queue.hpp"
#include "logging/logger.hpp"
#include "logging/recording_log_handler.hpp"
#include "mcp/core/transport.hpp"

namespace lumenary::mcp::testing {

// A transport that a test drives by hand. The test pushes incoming messages
// and ends the incoming stream; what the peer sends is recorded and can be
// awaited. It counts connect and disconnect calls, can be told to fail them
// or every send, and its logger records every log record it is given.
//
// Its mutex guards its state. Like a real transport, every operation still
// hops onto a strand of its own, so the peer under test must find its way
// back to its own executor. The log records are the log handler's, kept
// without a lock: read them only while nothing logs (a peer logs from its
// own strand, one record at a time).
class RecordingTransport final : public Transport, public std::enable_shared_from_this<RecordingTransport> {
public:
    static std::shared_ptr<RecordingTransport> create(asio::any_io_executor executor) {
        return std::shared_ptr<RecordingTransport>(new RecordingTransport(std::move(executor)));
    }

    RecordingTransport(const RecordingTransport&) = delete;
    RecordingTransport& operator=(const RecordingTransport&) = delete;

    logging::Logger logger() const override { return logger_; }

    asio::awaitable<void> connect() override { return async::onStrand(strand_, connectOn(shared_from_this())); }
    asio::awaitable<void> disconnect() override {
        return async::onStrand(strand_, disconnectOn(shared_from_this()));
    }
    asio::awaitable<void> send(SentMessage message) override {
        return async::onStrand(strand_, sendOn(shared_from_this(), std::move(message)));
    }
    async::Queue<ReceivedMessage> receive() override { return incoming_; }
    void setConnectionReplacedHandler(std::function<void()> handler) override {
        std::lock_guard lock(mutex_);
        connectionReplaced_ = std::move(handler);
    }

    // Tells the peer the connection under the stream was lost, as a network
    // transport does.
    void replaceConnection() const {
        std::function<void()> handler;
        {
            std::lock_guard lock(mutex_);
            handler = connectionReplaced_;
        }
        if (handler) {
            handler();
        }
    }

    // The test's side: what the peer receives.
    void deliver(std::string message) const { incoming_.push(std::move(message)); }
    // Ends the incoming stream, cleanly or with `error`.
    void endIncoming(std::exception_ptr error = nullptr) const { incoming_.finish(std::move(error)); }

    // Every later connect fails with `error`; null lets connects succeed again.
    void failConnects(std::exception_ptr error) {
        std::lock_guard lock(mutex_);
        connectFailure_ = std::move(error);
    }
    // Every later send fails with `error` and records nothing; null lets
    // sends succeed again.
    void failSends(std::exception_ptr error) {
        std::lock_guard lock(mutex_);
        sendFailure_ = std::move(error);
    }
    // By default disconnect ends the incoming stream, as real transports do.
    void keepStreamOpenOnDisconnect() {
        std::lock_guard lock(mutex_);
        endStreamOnDisconnect_ = false;
    }

    // The texts of the messages sent successfully, in order.
    std::vector<std::string> sent() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> texts;
        for (const auto& message : sent_) {
            texts.push_back(message.text);
        }
        return texts;
    }
    // The messages sent successfully, with what each answers, in order.
    std::vector<SentMessage> sentMessages() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::size_t sentCount() const {
        std::lock_guard lock(mutex_);
        return sent_.size();
    }
    // Every call of send, failed ones included.
    std::size_t sendAttempts() const {
        std::lock_guard lock(mutex_);
        return sendAttempts_;
    }
    // The successfully sent messages as a stream: each one once, in order.
    asio::awaitable<std::string> nextSent() const { return nextFrom(outgoing_); }

    int connectCalls() const {
        std::lock_guard lock(mutex_);
        return connectCalls_;
    }
    int disconnectCalls() const {
        std::lock_guard lock(mutex_);
        return disconnectCalls_;
    }

    const logging::testing::RecordLog& records() const { return *records_; }
    // The records whose message is `message`, in order.
    std::vector<logging::testing::RecordedEntry> recordsWithMessage(std::string_view message) const {
        std::vector<logging::testing::RecordedEntry> found;
        for (const auto& entry : *records_) {
            if (entry.message == message) {
                found.push_back(entry);
            }
        }
        return found;
    }

private:
    explicit RecordingTransport(asio::any_io_executor executor)
        : strand_(asio::make_strand(std::move(executor))),
          records_(std::make_shared<logging::testing::RecordLog>()),
          logger_("test.transport",
                  logging::testing::RecordingLogHandler("transport", logging::LogLevel::trace, records_)) {}

    static asio::awaitable<void> connectOn(std::shared_ptr<RecordingTransport> self) {
        std::exception_ptr failure;
        {
            std::lock_guard lock(self->mutex_);
            ++self->connectCalls_;
            failure = self->connectFailure_;
        }
        if (failure) {
            std::rethrow_exception(failure);
        }
        co_return;
    }

    static asio::awaitable<void> disconnectOn(std::shared_ptr<RecordingTransport> self) {
        bool endStream = false;
        {
            std::lock_guard lock(self->mutex_);
            ++self->disconnectCalls_;
            endStream = self->endStreamOnDisconnect_;
        }
        if (endStream) {
            self->incoming_.finish();
        }
        co_return;
    }

    static asio::awaitable<void> sendOn(std::shared_ptr<RecordingTransport> self, SentMessage message) {
        std::exception_ptr failure;
        {
            std::lock_guard lock(self->mutex_);
            ++self->sendAttempts_;
            failure = self->sendFailure_;
            if (!failure) {
                self->sent_.push_back(message);
            }
        }
        if (failure) {
            std::rethrow_exception(failure);
        }
        self->outgoing_.push(std::move(message.text));
        co_return;
    }

    static asio::awaitable<std::string> nextFrom(async::Queue<std::string> outgoing) {
        auto message = co_await outgoing.next();
        co_return message ? std::move(*message) : std::string();
    }

    asio::strand<asio::any_io_executor> strand_;
    std::shared_ptr<logging::testing::RecordLog> records_;
    const logging::Logger logger_;
    async::Queue<ReceivedMessage> incoming_;
    async::Queue<std::string> outgoing_;

    mutable std::mutex mutex_;
    std::vector<SentMessage> sent_;
    std::size_t sendAttempts_ = 0;
    int connectCalls_ = 0;
    int disconnectCalls_ = 0;
    std::exception_ptr connectFailure_;
    std::exception_ptr sendFailure_;
    bool endStreamOnDisconnect_ = true;
    std::function<void()> connectionReplaced_;
};

}  // namespace lumenary::mcp::testing
