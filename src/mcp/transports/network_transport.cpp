// Connecting and disconnecting: attempts, their state reports and the
// policy for a first attempt that fails.
#include "mcp/transports/network_transport.hpp"

#include <utility>

#include <asio/dispatch.hpp>
#include <asio/post.hpp>

#include "async/on_strand.hpp"
#include "async/sleep_for.hpp"
#include "logging/no_op_log_handler.hpp"
#include "mcp/transports/network_transport_support.hpp"

namespace lumenary::mcp {

using network_transport::errorText;
using network_transport::location;

std::shared_ptr<NetworkTransport> NetworkTransport::create(asio::any_io_executor executor,
                                                           std::shared_ptr<NetworkConnection> connection,
                                                           std::optional<logging::Logger> logger,
                                                           HeartbeatConfiguration heartbeat,
                                                           ReconnectionConfiguration reconnection,
                                                           BufferConfiguration buffer, Options options) {
    auto chosen = logger ? std::move(*logger) : logging::Logger("mcp.transport.network", logging::NoOpLogHandler());
    return std::shared_ptr<NetworkTransport>(new NetworkTransport(std::move(executor), std::move(connection),
                                                                  std::move(chosen), heartbeat, reconnection, buffer,
                                                                  options));
}

NetworkTransport::NetworkTransport(asio::any_io_executor executor, std::shared_ptr<NetworkConnection> connection,
                                   logging::Logger logger, HeartbeatConfiguration heartbeat,
                                   ReconnectionConfiguration reconnection, BufferConfiguration buffer,
                                   Options options)
    : strand_(asio::make_strand(std::move(executor))),
      connection_(std::move(connection)),
      logger_(std::move(logger)),
      heartbeatConfig_(heartbeat),
      reconnectionConfig_(reconnection),
      bufferConfig_(buffer),
      options_(options) {}

NetworkTransport::~NetworkTransport() {
    // Nobody awaits this transport any more (every awaiting member holds
    // it), so only its background work is left to stop. The connection and
    // the write queue belong to the strand, where the stopping is done.
    for (auto* task : {&connectTask_, &recoveryTask_, &heartbeatTask_, &receiveTask_}) {
        if (*task) {
            (*task)->cancel();
        }
    }
    messages_.finish();
    asio::post(strand_, [connection = connection_, queue = writeQueue_, timer = attemptTimer_] {
        if (timer) {
            timer->cancel();
        }
        if (queue) {
            queue->failAll(std::make_exception_ptr(MCPError::connectionClosed()));
        }
        connection->cancel();
    });
}

bool NetworkTransport::mayRetry() const noexcept {
    return reconnectionConfig_.enabled && reconnectAttempt_ < reconnectionConfig_.maxAttempts;
}

void NetworkTransport::setConnectionReplacedHandler(std::function<void()> handler) {
    asio::dispatch(strand_, [self = shared_from_this(), handler = std::move(handler)]() mutable {
        self->connectionReplacedHandler_ = std::move(handler);
    });
}

asio::awaitable<NetworkTransport::Status> NetworkTransport::status() {
    return async::onStrand(strand_, [](std::shared_ptr<NetworkTransport> self) -> asio::awaitable<Status> {
        co_return Status{self->isConnected(),
                         self->isStopping(),
                         self->reconnectAttempt_,
                         self->lastHeartbeatTime_,
                         self->writeQueue_ ? self->writeQueue_->queuedBytes() : 0,
                         self->writeQueue_ ? self->writeQueue_->roomWaiterCount() : 0};
    }(shared_from_this()));
}

asio::awaitable<void> NetworkTransport::connect() {
    return async::onStrand(strand_, connectOnStrand(shared_from_this()));
}

asio::awaitable<void> NetworkTransport::connectOnStrand(std::shared_ptr<NetworkTransport> self) {
    if (self->isConnected()) {
        co_return;
    }
    // The stream has ended for good; a connection would have nowhere to go.
    if (self->phase_ == Phase::stopped || self->phase_ == Phase::ended) {
        throw MCPError::connectionClosed();
    }
    // A call during an attempt or a recovery waits for its outcome.
    async::OneShot<void> connected;
    self->connectWaiters_.push_back(connected);
    if (self->phase_ == Phase::idle) {
        self->phase_ = Phase::connecting;
        self->reconnectAttempt_ = 0;
        self->connectTask_ = async::Task::spawn(self->strand_, firstConnection(self));
    }
    co_await connected.wait();
}

asio::awaitable<void> NetworkTransport::firstConnection(std::weak_ptr<NetworkTransport> weak) {
    async::OneShot<void> outcome;
    if (auto self = weak.lock()) {
        outcome = self->startAttempt();
    } else {
        co_return;
    }
    std::exception_ptr failure;
    try {
        co_await outcome.wait();
    } catch (...) {
        failure = std::current_exception();
    }
    auto self = weak.lock();
    // disconnect() has already answered the waiting callers.
    if (!self || self->phase_ != Phase::connecting) {
        co_return;
    }
    if (!failure) {
        self->handleConnectionReady();
        co_return;
    }
    // A first attempt that fails is not tried again here; when a retry would
    // be allowed the caller hears of it after the backoff delay, as a retry
    // would have waited.
    if (self->mayRetry()) {
        ++self->reconnectAttempt_;
        const auto attempt = self->reconnectAttempt_;
        const auto maxAttempts = self->reconnectionConfig_.maxAttempts;
        const char* ending = self->attemptEnding_;
        self->logger_.debug(
            [&] {
                return std::string("Attempting reconnection after ") + ending + " (" + std::to_string(attempt) + "/" +
                       std::to_string(maxAttempts) + ")...";
            },
            {}, {}, location("handleReconnection(error:continuation:context:)"));
        const auto delay = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            self->reconnectionConfig_.backoffDuration(attempt) * self->options_.backoffScale);
        self.reset();
        try {
            co_await async::sleepFor(delay);
        } catch (...) {
        }
        self = weak.lock();
        if (!self || self->phase_ != Phase::connecting) {
            co_return;
        }
    }
    self->connection_->cancel();
    self->phase_ = Phase::idle;
    self->failConnectWaiters(failure);
}

async::OneShot<void> NetworkTransport::startAttempt() {
    const auto generation = ++generation_;
    attemptSettled_ = false;
    attemptEnding_ = "failure";
    attemptOutcome_ = async::OneShot<void>();
    std::weak_ptr<NetworkTransport> weak = weak_from_this();

    attemptTimer_ = std::make_shared<asio::steady_timer>(strand_, options_.connectTimeout);
    attemptTimer_->async_wait([weak, generation](std::error_code error) {
        auto self = weak.lock();
        if (error || !self || generation != self->generation_ || self->attemptSettled_) {
            return;
        }
        const auto timedOut = std::make_error_code(std::errc::timed_out);
        self->logger_.error([&] { return "Connection failed: " + errorText(timedOut); }, {}, {},
                            location("handleConnectionFailed(error:continuation:)"));
        self->settleAttempt(
            std::make_exception_ptr(MCPError::transportError(std::make_exception_ptr(std::system_error(timedOut)))));
    });

    connection_->start(strand_, [weak, generation](NetworkConnectionStateReport report) {
        if (auto self = weak.lock()) {
            self->handleStateReport(generation, report);
        }
    });
    return *attemptOutcome_;
}

void NetworkTransport::handleStateReport(std::uint64_t generation, NetworkConnectionStateReport report) {
    // Reports of an earlier start, or of a transport that has stopped.
    if (generation != generation_ || isStopping()) {
        return;
    }
    switch (report.state) {
        case NetworkConnectionState::ready:
            // A second ready of the same attempt changes nothing.
            if (!attemptSettled_) {
                settleAttempt(nullptr);
            }
            return;
        case NetworkConnectionState::failed:
            // A failure after ready is noticed by reading and writing instead.
            if (attemptSettled_) {
                return;
            }
            logger_.error([&] { return "Connection failed: " + errorText(report.error); }, {}, {},
                          location("handleConnectionFailed(error:continuation:)"));
            attemptEnding_ = "failure";
            settleAttempt(std::make_exception_ptr(
                MCPError::transportError(std::make_exception_ptr(std::system_error(report.error)))));
            return;
        case NetworkConnectionState::cancelled:
            if (attemptSettled_) {
                return;
            }
            logger_.warning("Connection cancelled", {}, {}, location("handleConnectionCancelled(continuation:)"));
            attemptEnding_ = "cancellation";
            settleAttempt(std::make_exception_ptr(MCPError::internalError("Connection cancelled")));
            return;
        case NetworkConnectionState::waiting:
            logger_.debug([&] { return "Connection waiting: " + errorText(report.error); }, {}, {},
                          location("connect()"));
            return;
        case NetworkConnectionState::preparing:
            logger_.debug("Connection preparing...", {}, {}, location("connect()"));
            return;
        case NetworkConnectionState::setup:
            logger_.debug("Connection setup...", {}, {}, location("connect()"));
            return;
    }
    logger_.warning("Unknown connection state", {}, {}, location("connect()"));
}

void NetworkTransport::settleAttempt(std::exception_ptr error) {
    attemptSettled_ = true;
    if (attemptTimer_) {
        attemptTimer_->cancel();
        attemptTimer_.reset();
    }
    auto outcome = std::exchange(attemptOutcome_, std::nullopt);
    if (!outcome) {
        return;
    }
    if (error) {
        outcome->fail(std::move(error));
    } else {
        outcome->resume();
    }
}

void NetworkTransport::handleConnectionReady() {
    phase_ = Phase::connected;
    // The attempt count starts over only once this connection has brought
    // something: a peer that accepts and drops at once must not reset it.
    hasReceivedSinceReady_ = false;
    writeQueue_ = std::make_shared<NetworkWriteQueue>(options_.maximumQueuedOutputBytes);
    logger_.debug("Network transport connected successfully", {}, {},
                  location("handleConnectionReady(continuation:)"));

    std::weak_ptr<NetworkTransport> weak = weak_from_this();
    receiveTask_ =
        async::Task::spawn(strand_, receiveLoop(weak, generation_, connection_, bufferConfig_.readBufferSize()));
    if (heartbeatConfig_.enabled) {
        startHeartbeat();
    }
    for (auto& waiter : std::exchange(connectWaiters_, {})) {
        waiter.resume();
    }
}

void NetworkTransport::failConnectWaiters(std::exception_ptr error) {
    for (auto& waiter : std::exchange(connectWaiters_, {})) {
        waiter.fail(error);
    }
}

void NetworkTransport::stopConnectionWork(std::exception_ptr sendError) {
    for (auto* task : {&heartbeatTask_, &receiveTask_}) {
        if (*task) {
            (*task)->cancel();
            task->reset();
        }
    }
    if (writeQueue_) {
        std::exchange(writeQueue_, nullptr)->failAll(std::move(sendError));
    }
}

asio::awaitable<void> NetworkTransport::disconnect() {
    return async::onStrand(strand_, disconnectOnStrand(shared_from_this()));
}

asio::awaitable<void> NetworkTransport::disconnectOnStrand(std::shared_ptr<NetworkTransport> self) {
    if (self->phase_ == Phase::stopped) {
        co_return;
    }
    self->phase_ = Phase::stopped;
    // Every report, read and write of the connection so far is stale now.
    ++self->generation_;
    for (auto* task : {&self->connectTask_, &self->recoveryTask_}) {
        if (*task) {
            (*task)->cancel();
            task->reset();
        }
    }
    const auto closed = std::make_exception_ptr(MCPError::connectionClosed());
    self->settleAttempt(closed);
    self->stopConnectionWork(closed);
    self->connection_->cancel();
    self->failConnectWaiters(closed);
    self->messages_.finish();
    self->logger_.debug("Network transport disconnected", {}, {}, location("disconnect()"));
}

}  // namespace lumenary::mcp
