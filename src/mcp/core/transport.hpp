#pragma once

#include <string>

#include <asio/awaitable.hpp>

#include "async/queue.hpp"
#include "logging/logger.hpp"

namespace lumenary::mcp {

// The channel under one MCP peer. It moves whole messages, each the complete
// UTF-8 JSON text of one envelope or batch; framing is the transport's own
// business and never reaches the peer.
//
// Implementations are strand-owned: every operation hops onto the transport's
// own strand, so its state needs no further locking.
class Transport {
public:
    virtual ~Transport() = default;

    // The logger the transport and the peer bound to it write to.
    virtual logging::Logger logger() const = 0;

    // Prepares the channel; must finish before send and before the stream of
    // receive() yields. System failures come as MCPError::transportError.
    virtual asio::awaitable<void> connect() = 0;

    // Closes this side and ends the stream of receive(). Never fails; does
    // nothing when not connected.
    virtual asio::awaitable<void> disconnect() = 0;

    // Hands over one complete message, which reaches the peer whole and in
    // order after every message sent before it. A transport may queue it and
    // return before it is written, holding the sender back while too much
    // output waits. Fails when not connected or when the channel has failed.
    virtual asio::awaitable<void> send(std::string message) = 0;

    // The stream of received messages, read by one consumer. It ends when the
    // channel ends or the transport disconnects, possibly with an error. A
    // transport hands out either the same stream on every call or a new one
    // that takes over from the last (the in-memory pair does).
    virtual async::Queue<std::string> receive() = 0;
};

}  // namespace lumenary::mcp
