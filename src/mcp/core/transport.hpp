#pragma once

#include <optional>
#include <string>

#include <asio/awaitable.hpp>

#include "async/queue.hpp"
#include "logging/logger.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// One message as a transport received it: the complete JSON text, and the
// value it was parsed into when the transport already had to parse it (the
// HTTP session transport reads every body's id), so that the peer does not
// parse the same text a second time.
struct ReceivedMessage {
    // Implicit: a transport that only moves bytes hands its texts on as they
    // are.
    ReceivedMessage(std::string message) : text(std::move(message)) {}
    ReceivedMessage(std::string message, Value value) : text(std::move(message)), parsed(std::move(value)) {}

    std::string text;
    std::optional<Value> parsed;
};

// The channel under one MCP peer. It moves whole messages, each the complete
// UTF-8 JSON text of one envelope or batch; framing is the transport's own
// business and never reaches the peer.
//
// Every transport guards its own state, so the peer may call it from any
// thread and may send while it waits on the receive stream; each
// implementation's header names the rule it guards its state by (a strand, or
// a mutex). A peer calls connect() once, then receive() for its loop, send()
// for each outgoing message and disconnect() at its end.
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
    // output waits. Fails when not connected or when the channel has failed;
    // the HTTP session transport, which has no channel of its own, never
    // fails and drops what nobody can receive.
    virtual asio::awaitable<void> send(std::string message) = 0;

    // The stream of received messages, read by one consumer. It ends when the
    // channel ends or the transport disconnects, possibly with an error. A
    // transport hands out either the same stream on every call or a new one
    // that takes over from the last (the in-memory pair does).
    virtual async::Queue<ReceivedMessage> receive() = 0;
};

}  // namespace lumenary::mcp
