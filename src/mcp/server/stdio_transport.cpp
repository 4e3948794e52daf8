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
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

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
// process with SIGPIPE.
void ignoreBrokenPipeSignals() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

int duplicate(int descriptor) { return ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0); }

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
      limits_(limits) {}

StdioTransport::~StdioTransport() { closeDescriptors(); }

template <typename T>
asio::awaitable<T> StdioTransport::onStrand(asio::awaitable<T> body) {
    return asio::co_spawn(strand_, std::move(body), asio::use_awaitable);
}

asio::awaitable<void> StdioTransport::connect() {
    return onStrand([](std::shared_ptr<StdioTransport> self) -> asio::awaitable<void> {
        if (self->isConnected_) {
            co_return;
        }
        ignoreBrokenPipeSignals();
        self->openDescriptors();
        self->isConnected_ = true;
        self->logger_.debug("Transport connected successfully", {}, source);
        asio::co_spawn(self->strand_, self->readLoop(self->input_), [self](std::exception_ptr) {});
    }(shared_from_this()));
}

void StdioTransport::openDescriptors() {
    closeDescriptors();
    writeFailure_ = nullptr;
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

void StdioTransport::closeDescriptors() {
    asio::error_code ignored;
    if (input_) {
        input_->close(ignored);
        input_.reset();
    }
    if (output_) {
        output_->close(ignored);
        output_.reset();
    }
    savedInputFlags_.restore();
    savedOutputFlags_.restore();
}

asio::awaitable<void> StdioTransport::disconnect() {
    return onStrand([](std::shared_ptr<StdioTransport> self) -> asio::awaitable<void> {
        if (!self->isConnected_) {
            co_return;
        }
        self->isConnected_ = false;
        self->messages_.finish();
        self->closeDescriptors();
        if (auto drained = std::exchange(self->outputDrained_, std::nullopt)) {
            drained->resume();
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
        if (!isConnected_ || input_ != input) {
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
            logger_.error("Read error occurred", [&] { return logging::Metadata{{"error", error.message()}}; },
                          source);
        }
        break;
    }
    messages_.finish();
}

void StdioTransport::deliverLine(std::string line) {
    logger_.trace("Message received", [&] { return logging::Metadata{{"size", std::to_string(line.size())}}; },
                  source);
    messages_.push(std::move(line));
}

asio::awaitable<void> StdioTransport::waitForRoom() {
    while (isConnected_) {
        if (pendingWriteBytes_ > limits_.maximumQueuedOutputBytes) {
            outputDrained_.emplace();
            co_await outputDrained_->wait();
        } else if (messages_.size() >= limits_.maximumQueuedMessages) {
            co_await messages_.waitUntilShorterThan(limits_.maximumQueuedMessages);
        } else {
            co_return;
        }
    }
}

asio::awaitable<void> StdioTransport::send(std::string message) {
    return onStrand([](std::shared_ptr<StdioTransport> self, std::string bytes) -> asio::awaitable<void> {
        if (!self->isConnected_) {
            throw systemTransportError(ENOTCONN);
        }
        if (self->writeFailure_) {
            std::rethrow_exception(self->writeFailure_);
        }
        async::OneShot<void> written;
        self->pendingWriteBytes_ += bytes.size() + 1;
        self->pendingWrites_.push_back(PendingWrite{std::move(bytes), written});
        if (!self->isWriting_) {
            self->isWriting_ = true;
            asio::co_spawn(self->strand_, self->writeLoop(self->output_), [self](std::exception_ptr) {});
        }
        co_await written.wait();
    }(shared_from_this(), std::move(message)));
}

// One writer at a time, so lines never interleave; everything queued while a
// write is under way goes out in the next single gathered write.
asio::awaitable<void> StdioTransport::writeLoop(std::shared_ptr<asio::posix::stream_descriptor> output) {
    static const std::array<char, 1> lineEnd{newline};
    while (!pendingWrites_.empty()) {
        std::vector<PendingWrite> batch(std::make_move_iterator(pendingWrites_.begin()),
                                        std::make_move_iterator(pendingWrites_.end()));
        pendingWrites_.clear();
        std::vector<asio::const_buffer> buffers;
        buffers.reserve(batch.size() * 2);
        std::size_t bytes = 0;
        for (const auto& write : batch) {
            buffers.emplace_back(asio::buffer(write.bytes));
            buffers.emplace_back(asio::buffer(lineEnd));
            bytes += write.bytes.size() + 1;
        }

        asio::error_code error;
        if (output && output_ == output) {
            co_await asio::async_write(*output, buffers, asio::redirect_error(asio::use_awaitable, error));
        } else {
            error = asio::error::not_connected;
        }
        pendingWriteBytes_ -= bytes;

        if (error) {
            const auto failure = std::make_exception_ptr(
                MCPError::transportError(std::make_exception_ptr(std::system_error(error))));
            writeFailure_ = failure;
            for (auto& write : batch) write.written.fail(failure);
            failPendingWrites(failure);
        } else {
            for (auto& write : batch) write.written.resume();
        }
        if (outputDrained_ && pendingWriteBytes_ <= limits_.maximumQueuedOutputBytes) {
            std::exchange(outputDrained_, std::nullopt)->resume();
        }
    }
    isWriting_ = false;
}

void StdioTransport::failPendingWrites(std::exception_ptr error) {
    for (auto& write : pendingWrites_) {
        write.written.fail(error);
        pendingWriteBytes_ -= write.bytes.size() + 1;
    }
    pendingWrites_.clear();
}

}  // namespace lumenary::mcp
