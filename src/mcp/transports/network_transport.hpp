#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>

#include "async/one_shot.hpp"
#include "async/queue.hpp"
#include "async/task.hpp"
#include "logging/logger.hpp"
#include "mcp/core/mcp_error.hpp"
#include "mcp/core/transport.hpp"
#include "mcp/transports/network_configuration.hpp"
#include "mcp/transports/network_connection.hpp"
#include "mcp/transports/network_framer.hpp"
#include "mcp/transports/network_heartbeat.hpp"
#include "mcp/transports/network_transport_options.hpp"
#include "mcp/transports/network_write_queue.hpp"

namespace lumenary::mcp {

// MCP over one byte-stream connection to a peer: each message followed by one
// 0x0A, heartbeat records both ways, and reconnection when the connection
// breaks.
//
// One writer: messages and heartbeats share one queue and go out whole and in
// order; send() ends when its bytes are written, and the queue's bound holds
// senders back while the peer does not read. One reader per connection cuts
// the bytes into messages and skips the peer's heartbeats wherever a message
// may begin.
//
// One routine owns recovery. A failed send that broke the connection, a
// failed or ended read, and a connection no longer ready after empty reads
// all report to it; a report while it runs joins it. It tries again after the
// backoff delay, up to maxAttempts tries counted across the whole outage (the
// count starts over only once a new connection has brought a message or a
// heartbeat); when the tries are spent or reconnection is disabled, the
// stream of receive() ends with the last error. The owner hears of each lost
// connection through the connection-replaced handler: requests waiting on
// the old connection will get no answer.
//
// disconnect() always stops: it cancels an attempt or a backoff, fails a
// waiting connect() with MCPError::connectionClosed, closes the connection
// and ends the stream; no connection is made after it returns. Dropping the
// transport does the same, since its background work holds it weakly. After
// the stream has ended the transport cannot connect again.
//
// An actor: its strand guards all its state, and the connection's reports and
// I/O complete there.
class NetworkTransport final : public Transport, public std::enable_shared_from_this<NetworkTransport> {
public:
    using HeartbeatConfiguration = NetworkHeartbeatConfiguration;
    using ReconnectionConfiguration = NetworkReconnectionConfiguration;
    using BufferConfiguration = NetworkBufferConfiguration;
    using Heartbeat = NetworkHeartbeat;

    using Options = NetworkTransportOptions;

    // What the transport's flags say now, for its owner's diagnostics.
    struct Status {
        bool isConnected = false;
        bool isStopping = false;
        std::int64_t reconnectAttempt = 0;
        std::optional<std::chrono::system_clock::time_point> lastHeartbeatTime;
        std::size_t queuedOutputBytes = 0;
        std::size_t sendersWaitingForRoom = 0;
    };

    // Starts nothing and touches the connection in no way. Without a logger
    // it makes its own, "mcp.transport.network", which discards every record.
    static std::shared_ptr<NetworkTransport> create(
        asio::any_io_executor executor, std::shared_ptr<NetworkConnection> connection,
        std::optional<logging::Logger> logger = std::nullopt,
        HeartbeatConfiguration heartbeat = HeartbeatConfiguration::defaultConfiguration,
        ReconnectionConfiguration reconnection = ReconnectionConfiguration::defaultConfiguration,
        BufferConfiguration buffer = BufferConfiguration::defaultConfiguration, Options options = {});

    NetworkTransport(const NetworkTransport&) = delete;
    NetworkTransport& operator=(const NetworkTransport&) = delete;
    ~NetworkTransport() override;

    logging::Logger logger() const override { return logger_; }

    // Returns once the connection is ready. A failed attempt fails it with the
    // attempt's error, after the backoff delay when a retry would be allowed;
    // while an attempt or a recovery runs, a second call shares its outcome.
    asio::awaitable<void> connect() override;
    asio::awaitable<void> disconnect() override;
    // Fails with "Transport not connected" while no connection is ready, and
    // with "Send error: ..." when the write fails.
    asio::awaitable<void> send(SentMessage message) override;
    async::Queue<ReceivedMessage> receive() override { return messages_; }
    void setConnectionReplacedHandler(std::function<void()> handler) override;

    asio::awaitable<Status> status();

private:
    enum class Phase { idle, connecting, connected, recovering, stopped, ended };
    // What sent the transport into recovery, for its first record.
    enum class BreakCause { receive, send, notReady };

    NetworkTransport(asio::any_io_executor executor, std::shared_ptr<NetworkConnection> connection,
                     logging::Logger logger, HeartbeatConfiguration heartbeat, ReconnectionConfiguration reconnection,
                     BufferConfiguration buffer, Options options);

    bool isConnected() const noexcept { return phase_ == Phase::connected; }
    bool isStopping() const noexcept { return phase_ == Phase::stopped; }
    bool mayRetry() const noexcept;

    // Connecting (network_transport.cpp).
    static asio::awaitable<void> connectOnStrand(std::shared_ptr<NetworkTransport> self);
    static asio::awaitable<void> disconnectOnStrand(std::shared_ptr<NetworkTransport> self);
    static asio::awaitable<void> firstConnection(std::weak_ptr<NetworkTransport> weak);
    // Starts the connection afresh; the one-shot ends when it is ready and
    // fails with the error that ended the attempt.
    async::OneShot<void> startAttempt();
    void handleStateReport(std::uint64_t generation, NetworkConnectionStateReport report);
    void settleAttempt(std::exception_ptr error);
    void handleConnectionReady();
    void failConnectWaiters(std::exception_ptr error);
    void stopConnectionWork(std::exception_ptr sendError);

    // Sending and heartbeats (network_transport_sending.cpp).
    static asio::awaitable<void> sendOnStrand(std::shared_ptr<NetworkTransport> self, std::string message);
    void startWriter();
    // Writes what is queued, batch after batch: at most `batchLimit` of them,
    // or until the queue is empty when it is 0.
    static asio::awaitable<void> writeLoop(std::weak_ptr<NetworkTransport> weak, std::uint64_t generation,
                                           std::shared_ptr<NetworkWriteQueue> queue,
                                           std::shared_ptr<NetworkConnection> connection, std::size_t batchLimit);
    void startHeartbeat();
    static asio::awaitable<void> heartbeatLoop(std::weak_ptr<NetworkTransport> weak, std::uint64_t generation);
    static asio::awaitable<void> sendHeartbeat(std::weak_ptr<NetworkTransport> weak, std::uint64_t generation);

    // Receiving (network_transport_receiving.cpp).
    static asio::awaitable<void> receiveLoop(std::weak_ptr<NetworkTransport> weak, std::uint64_t generation,
                                             std::shared_ptr<NetworkConnection> connection, std::size_t bufferSize);
    void handleFrame(NetworkFramer::Frame& frame);

    // Recovery (network_transport_recovery.cpp).
    void reportBroken(std::uint64_t generation, std::exception_ptr error, BreakCause cause);
    static asio::awaitable<void> recover(std::weak_ptr<NetworkTransport> weak, std::exception_ptr error,
                                         BreakCause cause);
    void endStream(std::exception_ptr error);

    asio::strand<asio::any_io_executor> strand_;
    const std::shared_ptr<NetworkConnection> connection_;
    const logging::Logger logger_;
    const HeartbeatConfiguration heartbeatConfig_;
    const ReconnectionConfiguration reconnectionConfig_;
    const BufferConfiguration bufferConfig_;
    const Options options_;
    // Made once; never replaced, so once it has ended nothing more arrives.
    const async::Queue<ReceivedMessage> messages_;

    // Strand-owned.
    Phase phase_ = Phase::idle;
    std::int64_t reconnectAttempt_ = 0;
    // Counts starts of the connection: reports, loops and writes of an
    // earlier start are recognised and ignored.
    std::uint64_t generation_ = 0;
    // The current attempt's outcome has been given (connectionContinuationResumed).
    bool attemptSettled_ = true;
    // How the last attempt ended, for the retry record: "failure" or "cancellation".
    const char* attemptEnding_ = "failure";
    std::optional<async::OneShot<void>> attemptOutcome_;
    std::shared_ptr<asio::steady_timer> attemptTimer_;
    std::vector<async::OneShot<void>> connectWaiters_;
    std::optional<async::Task> connectTask_;
    std::optional<async::Task> recoveryTask_;
    std::optional<async::Task> heartbeatTask_;
    std::optional<async::Task> receiveTask_;
    // The ready connection's writer queue; a new one for every connection.
    std::shared_ptr<NetworkWriteQueue> writeQueue_;
    // Whether the current connection has brought anything yet.
    bool hasReceivedSinceReady_ = false;
    std::optional<std::chrono::system_clock::time_point> lastHeartbeatTime_;
    std::function<void()> connectionReplacedHandler_;
};

}  // namespace lumenary::mcp
