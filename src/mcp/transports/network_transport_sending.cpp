// Sending: the one writer that messages and heartbeats share, and the
// heartbeat loop.
#include <utility>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include "async/cancellation.hpp"
#include "async/on_strand.hpp"
#include "async/sleep_for.hpp"
#include "mcp/transports/network_transport.hpp"
#include "mcp/transports/network_transport_support.hpp"

namespace lumenary::mcp {

using network_transport::errorText;
using network_transport::location;

asio::awaitable<void> NetworkTransport::send(SentMessage message) {
    return async::onStrand(strand_, sendOnStrand(shared_from_this(), std::move(message.text)));
}

asio::awaitable<void> NetworkTransport::sendOnStrand(std::shared_ptr<NetworkTransport> self, std::string message) {
    if (!self->isConnected()) {
        throw MCPError::internalError("Transport not connected");
    }
    auto queue = self->writeQueue_;
    while (!queue->hasRoom()) {
        // The peer is not reading: wait rather than let the queue grow.
        auto room = queue->waitForRoom();
        co_await room.wait();
        // A new connection, or none, has a queue of its own.
        if (!self->isConnected() || self->writeQueue_ != queue) {
            throw MCPError::internalError("Transport not connected");
        }
    }
    auto written = queue->pushMessage(message);
    if (!queue->isWriting()) {
        // Nobody is writing: this sender writes the batch itself, which spares
        // a writer of its own and a trip through the scheduler; what queues
        // meanwhile goes to a writer.
        co_await writeLoop(self, self->generation_, queue, self->connection_, 1);
        if (auto current = self->writeQueue_; current == queue) {
            self->startWriter();
        }
    }
    co_await written.wait();
}

void NetworkTransport::startWriter() {
    if (writeQueue_->isWriting() || !writeQueue_->hasQueuedBytes()) {
        return;
    }
    asio::co_spawn(strand_, writeLoop(weak_from_this(), generation_, writeQueue_, connection_, 0), asio::detached);
}

asio::awaitable<void> NetworkTransport::writeLoop(std::weak_ptr<NetworkTransport> weak, std::uint64_t generation,
                                                  std::shared_ptr<NetworkWriteQueue> queue,
                                                  std::shared_ptr<NetworkConnection> connection,
                                                  std::size_t batchLimit) {
    for (std::size_t batches = 0; queue->hasQueuedBytes() && (batchLimit == 0 || batches < batchLimit); ++batches) {
        const auto batch = queue->takeBatch();
        std::exception_ptr failure;
        try {
            co_await connection->send(asio::buffer(batch.data(), batch.size()));
        } catch (...) {
            failure = std::current_exception();
        }
        if (!failure) {
            queue->batchWritten();
            continue;
        }
        const auto text = errorText(failure);
        queue->batchFailed(std::make_exception_ptr(MCPError::internalError("Send error: " + text)));
        auto self = weak.lock();
        // The connection was replaced or closed meanwhile: its failure is no news.
        if (!self || generation != self->generation_) {
            co_return;
        }
        self->logger_.error([&] { return "Send error: " + text; }, {}, {}, location("send(_:)"));
        if (network_transport::isBrokenConnectionError(failure)) {
            self->reportBroken(generation, std::make_exception_ptr(MCPError::transportError(failure)),
                               BreakCause::send);
        }
        co_return;
    }
}

void NetworkTransport::startHeartbeat() {
    if (heartbeatTask_) {
        heartbeatTask_->cancel();
    }
    heartbeatTask_ = async::Task::spawn(strand_, heartbeatLoop(weak_from_this(), generation_));
}

asio::awaitable<void> NetworkTransport::heartbeatLoop(std::weak_ptr<NetworkTransport> weak,
                                                      std::uint64_t generation) {
    const auto location = network_transport::location("startHeartbeat()");
    Options options;
    std::chrono::steady_clock::duration interval{};
    if (auto self = weak.lock()) {
        options = self->options_;
        interval = self->heartbeatConfig_.intervalDuration();
    } else {
        co_return;
    }
    try {
        co_await async::sleepFor(options.firstHeartbeatDelay);
    } catch (...) {
    }
    for (;;) {
        const bool cancelled = co_await async::isCancelled();
        if (cancelled) {
            co_return;
        }
        if (auto self = weak.lock(); !self || generation != self->generation_ || !self->isConnected()) {
            co_return;
        }
        std::exception_ptr failure;
        try {
            co_await sendHeartbeat(weak, generation);
            co_await async::sleepFor(interval);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!failure) {
            continue;
        }
        if (auto self = weak.lock()) {
            self->logger_.warning([&] { return "Heartbeat failed: " + errorText(failure); }, {}, {}, location);
        }
        try {
            co_await async::sleepFor(options.heartbeatRetryPause);
        } catch (...) {
        }
    }
}

asio::awaitable<void> NetworkTransport::sendHeartbeat(std::weak_ptr<NetworkTransport> weak,
                                                      std::uint64_t generation) {
    async::OneShot<void> written;
    if (auto self = weak.lock(); self && generation == self->generation_ && self->isConnected()) {
        written = self->writeQueue_->pushRecord(Heartbeat::now().data());
        self->startWriter();
    } else {
        co_return;
    }
    co_await written.wait();
    if (auto self = weak.lock()) {
        self->lastHeartbeatTime_ = std::chrono::system_clock::now();
        self->logger_.trace("Heartbeat sent", {}, {}, network_transport::location("sendHeartbeat()"));
    }
}

}  // namespace lumenary::mcp
