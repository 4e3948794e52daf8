#include "mcp/server/stdio_transport.hpp"

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cerrno>
#include <iterator>
#include <mutex>
#include <system_error>
#include <vector>

#include <asio/buffer.hpp>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>

#include "async/on_strand.hpp"
#include "async/with_timeout.hpp"
#include "logging/no_op_log_handler.hpp"
#include "mcp/core/mcp_error.hpp"
#include "mcp/server/stdio_line_splitter.hpp"
#include "system/ignore_broken_pipe_signals.hpp"

namespace lumenary::mcp {

namespace {

constexpr std::string_view transportLogSource = "MCP";
constexpr std::size_t readBufferSize = 64 * 1024;
constexpr char messageDelimiter = '\n';

MCPError systemTransportError(int error) {
    return MCPError::transportError(std::make_exception_ptr(std::system_error(error, std::generic_category())));
}

int duplicate(int descriptor) {
    return ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
}

// Transports with open descriptors, for the flush at exit.
struct OpenTransports {
    std::timed_mutex mutex;
    std::vector<StdioTransport*> transports;
};

OpenTransports& openTransports() {
    // Never destroyed: the flush at exit may run after static destructors.
    static auto* instance = new OpenTransports;
    return *instance;
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
        system::ignoreBrokenPipeSignals();
        std::shared_ptr<asio::posix::stream_descriptor> input;
        {
            std::lock_guard lock(self->mutex_);
            self->openDescriptors();
            self->isConnected_ = true;
            self->writeFailure_ = nullptr;
            input = self->input_;
        }
        self->logger_.debug("Transport connected successfully", {}, transportLogSource);
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
    {
        static std::once_flag once;
        std::call_once(once, [] { std::atexit(&StdioTransport::flushAllAtExit); });
        auto& open = openTransports();
        std::lock_guard lock(open.mutex);
        open.transports.push_back(this);
    }
    // Read and written directly, never blocking the thread.
    asio::error_code error;
    input_->non_blocking(true, error);
    if (!error) {
        output_->non_blocking(true, error);
    }
    if (error) {
        closeDescriptors();
        throw systemTransportError(error.value());
    }
}

std::shared_ptr<asio::posix::stream_descriptor> StdioTransport::takeInput() {
    return std::exchange(input_, nullptr);
}

void StdioTransport::closeDescriptors() {
    {
        auto& open = openTransports();
        std::lock_guard lock(open.mutex);
        std::erase(open.transports, this);
    }
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
        Wakeups wakeups;
        std::optional<async::OneShot<void>> flushed;
        std::shared_ptr<asio::posix::stream_descriptor> input;
        {
            std::lock_guard lock(self->mutex_);
            if (!self->isConnected_) {
                co_return;
            }
            self->isConnected_ = false;
            wakeups.drained = std::move(self->drainWaiters_);
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
        wakeups.resume();
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
        self->logger_.debug("Transport disconnected", {}, transportLogSource);
    }(shared_from_this()));
}

void StdioTransport::Wakeups::resume() {
    for (auto& waiter : drained) waiter.resume();
    for (auto& waiter : flushed) waiter.resume();
}

asio::awaitable<void> StdioTransport::readLoop(std::shared_ptr<asio::posix::stream_descriptor> input) {
    std::vector<char> buffer(readBufferSize);
    StdioLineSplitter splitter(limits_.maximumLineLength);
    // A read that filled the buffer may have left more behind; otherwise
    // the input is waited for before the next read, which costs no read
    // that finds nothing.
    bool mayHaveMore = false;
    // Regular files and /dev/null cannot be waited for, and never need to be.
    bool canWait = true;

    // Only an over-long line arrives empty: it goes on as an unreadable
    // message, without the trace a received message gets.
    const auto deliver = [this](std::string line) {
        if (line.empty()) {
            messages_.handOver(std::string());
        } else {
            deliverLine(std::move(line));
        }
    };

    for (;;) {
        std::optional<async::OneShot<void>> drained;
        const auto step = nextReadStep(input, drained);
        if (step == ReadStep::stop) {
            break;
        }
        if (step == ReadStep::waitForOutput) {
            co_await drained->wait();
            continue;
        }
        if (step == ReadStep::waitForConsumer) {
            co_await messages_.waitUntilBelow(limits_.maximumQueuedMessages, limits_.maximumQueuedInputBytes);
            continue;
        }

        asio::error_code error;
        if (!mayHaveMore && canWait) {
            co_await input->async_wait(asio::posix::stream_descriptor::wait_read,
                                       asio::redirect_error(asio::use_awaitable, error));
            if (error == asio::error::operation_not_supported) {
                canWait = false;
                error = {};
            }
        }
        std::size_t count = 0;
        if (!error) {
            const ssize_t result = ::read(input->native_handle(), buffer.data(), buffer.size());
            if (result > 0) {
                count = static_cast<std::size_t>(result);
                mayHaveMore = count == buffer.size();
            } else if (result == 0) {
                error = asio::error::eof;
            } else if (errno == EINTR) {
                continue;
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                mayHaveMore = false;
                continue;
            } else {
                error = asio::error_code(errno, asio::error::get_system_category());
            }
        }
        if (count > 0) {
            holdOutput();
            splitter.feed(std::string_view(buffer.data(), count), deliver);
            releaseOutput();
            // The next read will not wait: the executor is given back first,
            // or input that is always ready (a device, a fast file, a pipe
            // kept full) would hold it for as long as it lasts.
            if (mayHaveMore || !canWait) {
                co_await asio::post(strand_, asio::use_awaitable);
            }
            continue;
        }
        if (error == asio::error::eof) {
            logger_.notice("EOF received", {}, transportLogSource);
            // The last line counts even without its newline.
            if (auto last = splitter.finish()) {
                holdOutput();
                deliverLine(std::move(*last));
                releaseOutput();
            }
        } else if (error != asio::error::operation_aborted && error != asio::error::bad_descriptor) {
            logger_.error(
                "Read error occurred",
                [&] {
                    return logging::Metadata{{"error", error.message()}};
                },
                transportLogSource);
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
        transportLogSource);
    // A consumer waiting on this thread handles the line before the next
    // one is split off; the mutex is not held.
    messages_.handOver(std::move(line));
}

bool StdioTransport::connected() {
    std::lock_guard lock(mutex_);
    return isConnected_;
}

StdioTransport::ReadStep StdioTransport::nextReadStep(const std::shared_ptr<asio::posix::stream_descriptor>& input,
                                                      std::optional<async::OneShot<void>>& drained) {
    {
        std::lock_guard lock(mutex_);
        // Connected and still reading from `input`, not from a later
        // connection's.
        if (!isConnected_ || input_ != input) {
            return ReadStep::stop;
        }
        if (pendingOutputBytes() > limits_.maximumQueuedOutputBytes) {
            drained = drainWaiters_.emplace_back();
            return ReadStep::waitForOutput;
        }
    }
    if (!messages_.isBelow(limits_.maximumQueuedMessages, limits_.maximumQueuedInputBytes) &&
        !messages_.isFinished()) {
        return ReadStep::waitForConsumer;
    }
    return ReadStep::read;
}

void StdioTransport::holdOutput() {
    std::lock_guard lock(mutex_);
    isOutputHeld_ = true;
}

void StdioTransport::releaseOutput() {
    Wakeups wakeups;
    bool blocked = false;
    {
        std::lock_guard lock(mutex_);
        isOutputHeld_ = false;
        if (!isWriting_ && pendingOutputBytes() > 0) {
            blocked = writePending(wakeups);
            isWriting_ = blocked;
        }
    }
    wakeups.resume();
    if (blocked) {
        startWriter();
    }
}

bool StdioTransport::writePending(Wakeups& wakeups) {
    int error = 0;
    if (!output_ || !output_->is_open()) {
        error = ENOTCONN;
    }
    while (error == 0 && pendingOutputBytes() > 0) {
        const ssize_t written =
            ::write(output_->native_handle(), pendingOutput_.data() + pendingOutputStart_, pendingOutputBytes());
        if (written >= 0) {
            pendingOutputStart_ += static_cast<std::size_t>(written);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    if (error != 0) {
        // The peer is gone or the channel broke: later sends fail with this
        // error instead of queueing lines nobody reads.
        writeFailure_ = std::make_exception_ptr(systemTransportError(error));
        pendingOutputStart_ = pendingOutput_.size();
    }
    const bool blocked = pendingOutputBytes() > 0;
    if (!blocked) {
        // Kept for the next burst: the buffer's capacity is reused.
        pendingOutput_.clear();
        pendingOutputStart_ = 0;
    }
    if (pendingOutputBytes() <= limits_.maximumQueuedOutputBytes) {
        wakeups.drained = std::move(drainWaiters_);
    }
    return blocked;
}

void StdioTransport::flushAllAtExit() {
    auto& open = openTransports();
    std::lock_guard lock(open.mutex);
    for (auto* transport : open.transports) {
        // A thread that holds the lock at exit may be mid-write: it is left
        // be. Those waiting for the output to drain are left too: their
        // executors may be gone by now, and a wake-up would be handed to
        // one that no longer runs.
        const auto now = std::chrono::steady_clock::now();
        static_cast<void>(transport->flushUntil(now + transport->limits_.flushTimeLimit, now));
    }
}

void StdioTransport::flushAllUntil(std::chrono::steady_clock::time_point deadline) {
    Wakeups wakeups;
    {
        auto& open = openTransports();
        // The list is held throughout: a transport let go meanwhile would be
        // gone under the flush.
        std::unique_lock lock(open.mutex, deadline);
        if (!lock.owns_lock()) {
            return;
        }
        for (auto* transport : open.transports) {
            // Other threads still run, and hold the lock for a few steps at a
            // time; a sender or reader held back for the output still has
            // to learn that it drained.
            auto drained = transport->flushUntil(deadline, deadline);
            wakeups.drained.insert(wakeups.drained.end(), std::make_move_iterator(drained.begin()),
                                   std::make_move_iterator(drained.end()));
        }
    }
    wakeups.resume();
}

std::vector<async::OneShot<void>> StdioTransport::flushUntil(std::chrono::steady_clock::time_point deadline,
                                                             std::chrono::steady_clock::time_point lockDeadline) {
    std::vector<async::OneShot<void>> drained;
    std::unique_lock lock(mutex_, std::defer_lock);
    if (!lock.try_lock_until(lockDeadline) || !output_ || !output_->is_open()) {
        return drained;
    }
    for (;;) {
        Wakeups wakeups;
        const bool blocked = writePending(wakeups);
        drained.insert(drained.end(), std::make_move_iterator(wakeups.drained.begin()),
                       std::make_move_iterator(wakeups.drained.end()));
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!blocked || writeFailure_ || left.count() <= 0) {
            return drained;
        }
        pollfd writable{output_->native_handle(), POLLOUT, 0};
        ::poll(&writable, 1, static_cast<int>(left.count()));
    }
}

void StdioTransport::startWriter() {
    asio::co_spawn(strand_, writeLoop(), [self = shared_from_this()](std::exception_ptr) {});
}

// Written at once when nothing waits before it and the peer takes it; else
// queued for the writer, in order. While the reader hands over the lines of
// one read, replies are only queued and leave together after the last. A
// sender waits only while the output is over its limit, so a peer that stops
// reading holds the sender back instead of growing the queue.
asio::awaitable<void> StdioTransport::send(SentMessage message) {
    std::optional<async::OneShot<void>> drained;
    bool blocked = false;
    Wakeups wakeups;
    {
        std::lock_guard lock(mutex_);
        if (!isConnected_) {
            throw systemTransportError(ENOTCONN);
        }
        if (writeFailure_) {
            std::rethrow_exception(writeFailure_);
        }
        pendingOutput_.append(message.text);
        pendingOutput_.push_back(messageDelimiter);
        // A long burst still goes out in pieces of a useful size.
        const bool held = isOutputHeld_ && pendingOutputBytes() < readBufferSize;
        if (!isWriting_ && !held) {
            blocked = writePending(wakeups);
            isWriting_ = blocked;
        }
        if (pendingOutputBytes() > limits_.maximumQueuedOutputBytes) {
            drained = drainWaiters_.emplace_back();
        }
    }
    wakeups.resume();
    if (blocked) {
        startWriter();
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
    for (;;) {
        asio::error_code error;
        if (output) {
            co_await output->async_wait(asio::posix::stream_descriptor::wait_write,
                                        asio::redirect_error(asio::use_awaitable, error));
        }
        Wakeups wakeups;
        bool blocked = false;
        {
            std::lock_guard lock(mutex_);
            if (!output || output_ != output) {
                error = asio::error::not_connected;
            }
            if (error && error != asio::error::operation_not_supported) {
                writeFailure_ = std::make_exception_ptr(
                    MCPError::transportError(std::make_exception_ptr(std::system_error(error))));
                pendingOutput_.clear();
                pendingOutputStart_ = 0;
                wakeups.drained = std::move(drainWaiters_);
            } else {
                blocked = writePending(wakeups);
            }
            if (!blocked) {
                isWriting_ = false;
                wakeups.flushed = std::move(flushWaiters_);
            }
        }
        wakeups.resume();
        if (!blocked) {
            co_return;
        }
    }
}

}  // namespace lumenary::mcp
