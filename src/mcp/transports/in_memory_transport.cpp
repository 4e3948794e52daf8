#include "mcp/transports/in_memory_transport.hpp"

#include "logging/no_op_log_handler.hpp"
#include "mcp/core/mcp_error.hpp"

namespace lumenary::mcp {

namespace {

logging::Logger::Location transportLocation(std::string_view operation) {
    return logging::Logger::Location::fileID("MCP/InMemoryTransport", operation);
}

logging::Logger silentLogger(std::string label) {
    return logging::Logger(std::move(label), logging::NoOpLogHandler());
}

logging::Metadata sizeMetadata(const std::string& message) {
    return logging::Metadata{{"size", std::to_string(message.size())}};
}

}  // namespace

std::shared_ptr<InMemoryTransport> InMemoryTransport::create(std::optional<logging::Logger> logger) {
    auto chosen = logger ? std::move(*logger) : silentLogger("mcp.transport.in-memory");
    return std::shared_ptr<InMemoryTransport>(new InMemoryTransport(std::move(chosen)));
}

InMemoryTransport::Pair InMemoryTransport::createConnectedPair(std::optional<logging::Logger> logger) {
    auto client = create(logger ? *logger : silentLogger("mcp.transport.in-memory.client"));
    auto server = create(logger ? *logger : silentLogger("mcp.transport.in-memory.server"));
    // Nobody else holds the new ends yet, so no lock is needed.
    client->isPaired_ = true;
    client->pairedTransport_ = server;
    server->isPaired_ = true;
    server->pairedTransport_ = client;
    return {std::move(client), std::move(server)};
}

InMemoryTransport::~InMemoryTransport() {
    if (messageStream_) {
        messageStream_->finish();
    }
    if (auto peer = pairedTransport_.lock(); peer && isConnected_) {
        peer->handlePeerDisconnection();
    }
}

asio::awaitable<void> InMemoryTransport::connect() {
    std::lock_guard lock(mutex_);
    if (isConnected_) {
        logger_.debug("Transport already connected", {}, {}, transportLocation("connect()"));
        co_return;
    }
    if (!isPaired_) {
        throw MCPError::internalError("Transport not paired. Use createConnectedPair() to create paired transports.");
    }
    isConnected_ = true;
    logger_.info("Transport connected successfully", {}, {}, transportLocation("connect()"));
}

asio::awaitable<void> InMemoryTransport::disconnect() {
    std::shared_ptr<InMemoryTransport> peer;
    {
        std::lock_guard lock(mutex_);
        if (!isConnected_) {
            co_return;
        }
        isConnected_ = false;
        if (messageStream_) {
            messageStream_->finish();
            messageStream_.reset();
        }
        peer = pairedTransport_.lock();
    }
    // Told outside this end's lock: the peer's lock is never taken under it.
    if (peer) {
        peer->handlePeerDisconnection();
    }
    std::lock_guard lock(mutex_);
    logger_.info("Transport disconnected", {}, {}, transportLocation("disconnect()"));
}

void InMemoryTransport::handlePeerDisconnection() {
    std::lock_guard lock(mutex_);
    if (!isConnected_) {
        return;
    }
    if (messageStream_) {
        messageStream_->finish(std::make_exception_ptr(MCPError::connectionClosed()));
        messageStream_.reset();
    }
    isConnected_ = false;
    logger_.info("Peer transport disconnected", {}, {}, transportLocation("handlePeerDisconnection()"));
}

asio::awaitable<void> InMemoryTransport::send(SentMessage message) {
    std::shared_ptr<InMemoryTransport> peer;
    {
        std::lock_guard lock(mutex_);
        if (!isConnected_) {
            throw MCPError::internalError("Transport not connected");
        }
        if (!isPaired_) {
            throw MCPError::internalError("No paired transport");
        }
        peer = pairedTransport_.lock();
        if (!peer) {
            throw MCPError::connectionClosed();
        }
        logger_.debug(
            "Sending message", [&] { return sizeMetadata(message.text); }, {}, transportLocation("send(_:)"));
    }
    peer->deliverMessage(std::move(message.text));
    co_return;
}

void InMemoryTransport::deliverMessage(std::string message) {
    std::lock_guard lock(mutex_);
    logger_.debug(
        "Message received", [&] { return sizeMetadata(message); }, {}, transportLocation("deliverMessage(_:)"));
    if (messageStream_) {
        messageStream_->push(std::move(message));
    } else {
        incomingMessages_.push_back(std::move(message));
    }
}

async::Queue<ReceivedMessage> InMemoryTransport::receive() {
    std::lock_guard lock(mutex_);
    if (messageStream_) {
        messageStream_->finish();
        messageStream_.reset();
    }
    async::Queue<ReceivedMessage> stream;
    for (auto& message : incomingMessages_) {
        stream.push(std::move(message));
    }
    incomingMessages_.clear();
    if (isConnected_) {
        messageStream_ = stream;
    } else {
        // Not kept: later messages wait here for the next stream instead of
        // going into one that has already ended.
        stream.finish();
    }
    return stream;
}

}  // namespace lumenary::mcp
