#include "mcp/server/stdio_transport.hpp"

#include <fcntl.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

#include <asio/buffer.hpp>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "async/on_strand.hpp"
#include "async/with_timeout.hpp"
#include "logging/no_op_log_handler.hpp"
#include "mcp/core/mcp_error.hpp"

namespace lumenary::mcp {

namespace {

constexpr std::string_view source = "MCP";
constexpr std::size_t readBufferSize = 64 * 1024;
constexpr char newline = '\n';

MCPError systemTransportError(int error) {
    return MCPError::transportError(std::make_exception_ptr(std::system_error(error, std::generic_category())));
}

// A write to a pipe whose reader has gone must fail with EPIPE, not end the
// process with SIGPIPE. An ignored signal stays ignored across exec, so code
// that starts other programs sets SIGPIPE back to default for them
// (posix_spawnattr_setsigdefault).
void ignoreBrokenPipeSignals() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

int duplicate(int descriptor) {
    return ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
}

}  // namespace

std::shared_ptr<StdioTransport> StdioTransport::create(asio::any_io_executor executor, int input, int output,
                                                       std::optional<logging::Logger> logger) {
    return create(std::move(executor), input, output, std::move(logger), Limits{});
}

std::shared_ptr<StdioTransport> StdioTransport::create(asio::any_io_executor executor, int input, int output,
                                                       std::optional<logging::Logger> logger, Limits limits) {
    auto chosen = logger ? std::move(*logger) : logging::Logger("mcp.transport.stdio", logging::NoOpLogHandler());
    return std::shared_ptr<StdioTransport>(
        new StdioTransport(std::move(executor), input, output, std::move(chosen), limits));
}

StdioTransport::StdioTransport(asio::any_io_executor executor, int input, int output, logging::Logger logger,
                               Limits limits)
    : strand_(asio::make_strand(std::move(executor))),
      inputDescriptor_(input),
      outputDescriptor_(output),
      logger_(std::move(logger)),
      limits_(limits),
      messages_([](const ReceivedMessage& message) { return message.text.size(); }) {}

StdioTransport::~StdioTransport() {
    std::lock_guard lock(mutex_);
    closeDescriptors();
}

// Connecting and disconnecting run on the strand: they open and close the
// descriptors that the read and write loops use there.
asio::awaitable<void> StdioTransport::connect() {
    return async::onStrand(strand_, [](std::shared_ptr<StdioTransport> self) -> asio::awaitable<void> {
        if (self->connected()) {
            co_return;
        }
        // One connection per transport: its stream of messages has ended.
        if (self->messages_.isFinished()) {
            throw MCPError::connectionClosed();
        }
        ignoreBrokenPipeSignals();
        std::shared_ptr<asio::posix::stream_descriptor> input;
        {
            std::lock_guard lock(self->mutex_);
            self->openDescriptors();
            self->isConnected_ = true;
            self->writeFailure_ = nullptr;
            input = self->input_;
        }
        self->logger_.debug("Transport connected successfully", {}, source);
        asio::co_spawn(self->strand_, self->readLoop(std::move(input)), [self](std::exception_ptr) {});
    }(shared_from_this()));
}

void StdioTransport::openDescriptors() {
    closeDescriptors();
    if (!savedInputFlags_.save(inputDescriptor_) || !savedOutputFlags_.save(outputDescriptor_)) {
        const int error = errno;
        closeDescriptors();
        throw systemTransportError(error);
    }
    // Our own duplicates: closing them never closes the caller's descriptors.
    const int input = duplicate(inputDescriptor_);
    const int output = input < 0 ? -1 : duplicate(outputDescriptor_);
    if (input < 0 || output < 0) {
        const int error = errno;
        if (input >= 0) ::close(input);
        closeDescriptors();
        throw systemTransportError(error);
    }
    input_ = std::make_shared<asio::posix::stream_descriptor>(strand_, input);
    output_ = std::make_shared<asio::posix::stream_descriptor>(strand_, output);
}

std::shared_ptr<asio::posix::stream_descriptor> StdioTransport::takeInput() {
    return std::exchange(input_, nullptr);
}

void StdioTransport::closeDescriptors() {
    asio::error_code ignored;
    if (auto input = takeInput()) {
        input->close(ignored);
    }
    if (output_) {
        output_->close(ignored);
        output_.reset();
    }
    savedInputFlags_.restore();
    savedOutputFlags_.restore();
}

asio::awaitable<void> StdioTransport::disconnect() {
    return async::onStrand(strand_, [](std::shared_ptr<StdioTransport> self) -> asio::awaitable<void> {
        std::vector<async::OneShot<void>> waiters;
        std::optional<async::OneShot<void>> flushed;
        std::shared_ptr<asio::posix::stream_descriptor> input;
        {
            std::lock_guard lock(self->mutex_);
            if (!self->isConnected_) {
                co_return;
            }
            self->isConnected_ = false;
            waiters = std::move(self->drainWaiters_);
            if (self->isWriting_) {
                flushed = self->flushWaiters_.emplace_back();
            }
            input = self->takeInput();
        }
        self->messages_.finish();
        if (input) {
            asio::error_code ignored;
            input->close(ignored);
        }
        for (auto& waiter : waiters) waiter.resume();
        // Lines already handed over still reach the peer, unless it has
        // stopped reading; the descriptors are closed whatever happens.
        if (flushed) {
            try {
                co_await async::withTimeout(flushed->wait(), self->limits_.flushTimeLimit, "flushing output");
            } catch (...) {
            }
        }
        {
            std::lock_guard lock(self->mutex_);
            self->closeDescriptors();
        }
        self->logger_.debug("Transport disconnected", {}, source);
    }(shared_from_this()));
}

asio::awaitable<void> StdioTransport::readLoop(std::shared_ptr<asio::posix::stream_descriptor> input) {
    std::vector<char> buffer(readBufferSize);
    std::string pending;
    bool discarding = false;

    // Splits bytes into lines; a line past the limit is dropped whole and
    // stands in the stream as one empty, unreadable message.
    const auto consume = [&](const char* data, std::size_t size) {
        while (size > 0) {
            const auto* found = static_cast<const char*>(std::memchr(data, newline, size));
            const std::size_t length = found ? static_cast<std::size_t>(found - data) : size;
            if (!discarding) {
                if (pending.size() + length > limits_.maximumLineLength) {
                    pending = std::string();
                    discarding = true;
                    messages_.push(std::string());
                } else {
                    pending.append(data, length);
                }
            }
            if (!found) {
                return;
            }
            if (discarding) {
                discarding = false;
            } else if (!pending.empty()) {
                deliverLine(std::exchange(pending, std::string()));
            }
            data = found + 1;
            size -= length + 1;
        }
    };

    for (;;) {
        co_await waitForRoom();
        if (!readingFrom(input)) {
            break;
        }
        asio::error_code error;
        const std::size_t count =
            co_await input->async_read_some(asio::buffer(buffer), asio::redirect_error(asio::use_awaitable, error));
        consume(buffer.data(), count);
        if (!error) {
            continue;
        }
        if (error == asio::error::eof) {
            logger_.notice("EOF received", {}, source);
            // The last line counts even without its newline.
            if (!discarding && !pending.empty()) {
                deliverLine(std::move(pending));
            }
        } else if (error != asio::error::operation_aborted && error != asio::error::bad_descriptor) {
            logger_.error(
                "Read error occurred",
                [&] {
                    return logging::Metadata{{"error", error.message()}};
                },
                source);
        }
        break;
    }
    messages_.finish();
}

void StdioTransport::deliverLine(std::string line) {
    logger_.trace(
        "Message received",
        [&] {
            return logging::Metadata{{"size", std::to_string(line.size())}};
        },
        source);
    messages_.push(std::move(line));
}

bool StdioTransport::connected() {
    std::lock_guard lock(mutex_);
    return isConnected_;
}

bool StdioTransport::readingFrom(const std::shared_ptr<asio::posix::stream_descriptor>& input) {
    std::lock_guard lock(mutex_);
    return isConnected_ && input_ == input;
}

std::optional<async::OneShot<void>> StdioTransport::drainWaiterIfOverLimit() {
    std::lock_guard lock(mutex_);
    if (!isConnected_ || pendingWriteBytes_ <= limits_.maximumQueuedOutputBytes) {
        return std::nullopt;
    }
    return drainWaiters_.emplace_back();
}

asio::awaitable<void> StdioTransport::waitForRoom() {
    for (;;) {
        const bool inputFull =
            messages_.size() >= limits_.maximumQueuedMessages || messages_.weight() >= limits_.maximumQueuedInputBytes;
        if (auto drained = drainWaiterIfOverLimit()) {
            co_await drained->wait();
        } else if (connected() && !messages_.isFinished() && inputFull) {
            co_await messages_.waitUntilBelow(limits_.maximumQueuedMessages, limits_.maximumQueuedInputBytes);
        } else {
            co_return;
        }
    }
}

// Queues the line and returns; the writer delivers queued lines in order.
// A sender waits only while the output is over its limit, so a peer that
// stops reading holds the sender back instead of growing the queue.
asio::awaitable<void> StdioTransport::send(std::string message) {
    std::optional<async::OneShot<void>> drained;
    bool startWriter = false;
    {
        std::lock_guard lock(mutex_);
        if (!isConnected_) {
            throw systemTransportError(ENOTCONN);
        }
        if (writeFailure_) {
            std::rethrow_exception(writeFailure_);
        }
        message.push_back(newline);
        pendingWriteBytes_ += message.size();
        pendingWrites_.push_back(std::move(message));
        startWriter = !std::exchange(isWriting_, true);
        if (pendingWriteBytes_ > limits_.maximumQueuedOutputBytes) {
            drained = drainWaiters_.emplace_back();
        }
    }
    if (startWriter) {
        // Started, not run here: replies made while the server works through
        // a burst of input then go out together in one write.
        asio::co_spawn(strand_, writeLoop(), [self = shared_from_this()](std::exception_ptr) {});
    }
    if (drained) {
        // The line is queued: a cancelled wait must not make the caller think
        // it was not sent, and send it again.
        try {
            co_await drained->wait();
        } catch (...) {
        }
        std::lock_guard lock(mutex_);
        if (writeFailure_) {
            std::rethrow_exception(writeFailure_);
        }
    }
}

asio::awaitable<void> StdioTransport::writeLoop() {
    std::shared_ptr<asio::posix::stream_descriptor> output;
    {
        std::lock_guard lock(mutex_);
        output = output_;
    }
    std::vector<std::string> batch;
    std::vector<asio::const_buffer> buffers;
    for (;;) {
        std::size_t bytes = 0;
        std::vector<async::OneShot<void>> flushed;
        bool outputOpen = false;
        {
            std::lock_guard lock(mutex_);
            outputOpen = output && output_ == output;
            if (pendingWrites_.empty() || writeFailure_) {
                isWriting_ = false;
                flushed = std::move(flushWaiters_);
            } else {
                batch.swap(pendingWrites_);
                pendingWrites_.clear();
            }
        }
        if (!flushed.empty() || batch.empty()) {
            for (auto& waiter : flushed) waiter.resume();
            co_return;
        }
        buffers.clear();
        for (const auto& line : batch) {
            buffers.emplace_back(asio::buffer(line));
            bytes += line.size();
        }

        asio::error_code error;
        if (outputOpen) {
            co_await asio::async_write(*output, buffers, asio::redirect_error(asio::use_awaitable, error));
        } else {
            error = asio::error::not_connected;
        }

        std::vector<async::OneShot<void>> woken;
        {
            std::lock_guard lock(mutex_);
            pendingWriteBytes_ -= bytes;
            if (error) {
                // The peer is gone or the channel broke: later sends fail
                // with this error instead of queueing lines nobody reads.
                writeFailure_ = std::make_exception_ptr(
                    MCPError::transportError(std::make_exception_ptr(std::system_error(error))));
                pendingWrites_.clear();
                pendingWriteBytes_ = 0;
            }
            if (pendingWriteBytes_ <= limits_.maximumQueuedOutputBytes) {
                woken = std::move(drainWaiters_);
            }
        }
        for (auto& waiter : woken) waiter.resume();
        batch.clear();
    }
}

}  // namespace lumenary::mcp
