#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include <asio/awaitable.hpp>

#include "async/queue.hpp"
#include "logging/logger.hpp"
#include "mcp/core/transport.hpp"

namespace lumenary::mcp {

// One end of a pair of transports wired to each other inside one process: a
// message sent at one end is handed whole to the other end's stream, with no
// encoding or I/O on the way. A client holds one end and a server the other.
//
// Each end connects by itself. A message that reaches an end which has not
// connected yet, or has no stream yet, waits there for its next receive(),
// so nothing sent is lost to a start-up race. When one end disconnects, the
// other's stream ends with MCPError::connectionClosed and that end counts as
// disconnected too; so does it when the other end is destroyed.
//
// The ends hold each other weakly: a pair lives as long as its users hold
// the ends. Each end's mutex guards its state and is never held while the
// other end's is taken, so a send is one hand-over with no hops.
class InMemoryTransport final : public Transport, public std::enable_shared_from_this<InMemoryTransport> {
public:
    using Pair = std::pair<std::shared_ptr<InMemoryTransport>, std::shared_ptr<InMemoryTransport>>;

    // An end without a peer; it cannot connect. Without a logger it makes
    // its own, "mcp.transport.in-memory", which discards every record.
    static std::shared_ptr<InMemoryTransport> create(std::optional<logging::Logger> logger = std::nullopt);

    // A client end and a server end, in that order, each the other's peer;
    // neither is connected. Without a logger each end makes its own,
    // "mcp.transport.in-memory.client" and "mcp.transport.in-memory.server".
    static Pair createConnectedPair(std::optional<logging::Logger> logger = std::nullopt);

    InMemoryTransport(const InMemoryTransport&) = delete;
    InMemoryTransport& operator=(const InMemoryTransport&) = delete;
    ~InMemoryTransport() override;

    logging::Logger logger() const override { return logger_; }
    asio::awaitable<void> connect() override;
    asio::awaitable<void> disconnect() override;
    asio::awaitable<void> send(SentMessage message) override;
    // A new stream on every call, which replays the messages waiting here;
    // the stream it replaces ends. On an end that is not connected the
    // stream ends right after the replay.
    async::Queue<ReceivedMessage> receive() override;

private:
    explicit InMemoryTransport(logging::Logger logger) : logger_(std::move(logger)) {}

    void handlePeerDisconnection();
    void deliverMessage(std::string message);

    const logging::Logger logger_;

    mutable std::mutex mutex_;
    bool isPaired_ = false;
    std::weak_ptr<InMemoryTransport> pairedTransport_;
    bool isConnected_ = false;
    // Messages that arrived while no stream was open, oldest first.
    std::deque<std::string> incomingMessages_;
    // The stream of the latest receive(), while the end is connected.
    std::optional<async::Queue<ReceivedMessage>> messageStream_;
};

}  // namespace lumenary::mcp
