// Receiving: one read loop per connection, the framer between the bytes
// and the stream.
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <asio/error.hpp>

#include "async/cancellation.hpp"
#include "async/sleep_for.hpp"
#include "mcp/transports/network_transport.hpp"
#include "mcp/transports/network_transport_support.hpp"

namespace lumenary::mcp {

using network_transport::errorText;
using network_transport::location;

namespace {

constexpr std::int64_t emptyReadsBeforeWarning = 5;

bool isEndOfFile(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::system_error& error) {
        return error.code() == asio::error::eof;
    } catch (...) {
        return false;
    }
}

}  // namespace

asio::awaitable<void> NetworkTransport::receiveLoop(std::weak_ptr<NetworkTransport> weak, std::uint64_t generation,
                                                    std::shared_ptr<NetworkConnection> connection,
                                                    std::size_t bufferSize) {
    const auto loopLocation = location("receiveLoop()");
    std::vector<char> buffer(bufferSize);
    std::chrono::steady_clock::duration emptyReadPause{};
    std::size_t maximumLineLength = 0;
    if (auto self = weak.lock()) {
        emptyReadPause = self->options_.emptyReadPause;
        maximumLineLength = self->options_.maximumLineLength;
    } else {
        co_return;
    }
    NetworkFramer framer(maximumLineLength);
    std::vector<NetworkFramer::Frame> frames;
    std::int64_t emptyReads = 0;

    for (;;) {
        const bool cancelled = co_await async::isCancelled();
        if (cancelled) {
            co_return;
        }
        if (auto self = weak.lock(); !self || generation != self->generation_ || !self->isConnected()) {
            co_return;
        }
        std::size_t count = 0;
        std::exception_ptr failure;
        try {
            count = co_await connection->receive(asio::buffer(buffer));
        } catch (...) {
            failure = std::current_exception();
        }
        auto self = weak.lock();
        const bool stopped = co_await async::isCancelled();
        if (!self || stopped || generation != self->generation_ || !self->isConnected()) {
            if (self && self->isStopping()) {
                self->logger_.debug("Receive loop stopping normally", {}, {}, loopLocation);
            }
            co_return;
        }

        if (failure) {
            std::exception_ptr error;
            if (isEndOfFile(failure)) {
                self->logger_.trace("Connection completed by peer", {}, {}, location("receiveData()"));
                error = std::make_exception_ptr(MCPError::connectionClosed());
            } else {
                error = std::make_exception_ptr(MCPError::transportError(failure));
            }
            self->logger_.error([&] { return "Receive error: " + errorText(error); }, {}, {}, loopLocation);
            self->reportBroken(generation, error, BreakCause::receive);
            co_return;
        }

        if (count == 0) {
            ++emptyReads;
            if (emptyReads >= emptyReadsBeforeWarning) {
                self->logger_.warning(
                    [&] {
                        return "Multiple consecutive empty reads (" + std::to_string(emptyReads) +
                               "), possible connection issue";
                    },
                    {}, {}, loopLocation);
                if (connection->state() != NetworkConnectionState::ready) {
                    self->logger_.warning("Connection no longer ready, exiting receive loop", {}, {}, loopLocation);
                    // Nothing reads any more: recovery takes over, or the
                    // stream ends, instead of a client waiting for ever.
                    self->reportBroken(generation, std::make_exception_ptr(MCPError::connectionClosed()),
                                       BreakCause::notReady);
                    co_return;
                }
            }
            self.reset();
            try {
                co_await async::sleepFor(emptyReadPause);
            } catch (...) {
                co_return;
            }
            continue;
        }

        emptyReads = 0;
        frames.clear();
        framer.feed(std::string_view(buffer.data(), count), frames);
        for (auto& frame : frames) {
            self->handleFrame(frame);
        }
    }
}

void NetworkTransport::handleFrame(NetworkFramer::Frame& frame) {
    const auto loopLocation = location("receiveLoop()");
    if (auto* message = std::get_if<std::string>(&frame)) {
        logger_.debug(
            "Message received",
            [&] {
                return logging::Metadata{{"size", std::to_string(message->size())}};
            },
            {}, loopLocation);
        if (!hasReceivedSinceReady_) {
            hasReceivedSinceReady_ = true;
            reconnectAttempt_ = 0;
        }
        messages_.push(ReceivedMessage(std::move(*message)));
        return;
    }
    if (const auto* heartbeat = std::get_if<NetworkHeartbeat>(&frame)) {
        logger_.trace("Received heartbeat from peer", {}, {}, loopLocation);
        logger_.trace([&] { return "Heartbeat timestamp: " + heartbeat->dateText(); }, {}, {}, loopLocation);
        if (!hasReceivedSinceReady_) {
            hasReceivedSinceReady_ = true;
            reconnectAttempt_ = 0;
        }
        return;
    }
    const auto& discarded = std::get<NetworkFramer::DiscardedLine>(frame);
    logger_.error(
        [&] {
            return "Discarded a line longer than " + std::to_string(options_.maximumLineLength) + " bytes";
        },
        [&] {
            return logging::Metadata{{"size", std::to_string(discarded.length)}};
        },
        {}, loopLocation);
}

}  // namespace lumenary::mcp
