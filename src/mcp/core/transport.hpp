#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <asio/awaitable.hpp>

#include "async/queue.hpp"
#include "logging/logger.hpp"
#include "mcp/core/id.hpp"
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
    ReceivedMessage(std::string message, Value value, std::shared_ptr<const void> chargedTo)
        : text(std::move(message)), parsed(std::move(value)), charge(std::move(chargedTo)) {}

    std::string text;
    std::optional<Value> parsed;
    // What the message's memory is charged to outside the peer (the HTTP
    // endpoint's budget for request bodies), given back only once the
    // message is gone: a notification's answer leaves long before its
    // server has handled it.
    std::shared_ptr<const void> charge;
};

// One message as a peer hands it to its transport: the complete JSON text,
// and which of the other side's requests it answers, as the peer knew when
// it wrote it. A transport that routes replies (the HTTP session transport
// hands each to the exchange waiting for it) reads where one goes here and
// never parses what its own peer wrote.
struct SentMessage {
    // Nothing (a notification, a request, a reply under a fresh id), one
    // request (its reply), or the requests of one batch (the array of their
    // replies; the ids in the replies' order, one per reply).
    using Answered = std::variant<std::monostate, ID, std::vector<ID>>;

    // Implicit, answering nothing: a transport that only moves bytes, and a
    // peer that answers nothing, stay as they are.
    SentMessage(std::string message) : text(std::move(message)) {}
    SentMessage(const char* message) : text(message) {}

    // The reply to the request with `id`; its text carries that id.
    static SentMessage reply(std::string text, ID id) { return SentMessage(std::move(text), Answered(std::move(id))); }
    // The array of replies to one batch's requests, their ids in order.
    static SentMessage batchReply(std::string text, std::vector<ID> ids) {
        return SentMessage(std::move(text), Answered(std::move(ids)));
    }

    const ID* answeredRequest() const noexcept { return std::get_if<ID>(&answered); }
    const std::vector<ID>* answeredBatch() const noexcept { return std::get_if<std::vector<ID>>(&answered); }

    std::string text;
    Answered answered;

private:
    SentMessage(std::string message, Answered answers) : text(std::move(message)), answered(std::move(answers)) {}
};

// The channel under one MCP peer. It moves whole messages, each the complete
// UTF-8 JSON text of one envelope or batch; framing is the transport's own
// business and never reaches the peer.
//
// A peer calls connect() once, then receive() for its loop, send() for each
// outgoing message and disconnect() at its end. Every transport here (stdio,
// in-memory, HTTP session) guards its state with a mutex of its own, named
// in its header, the network transport and the HTTP client transport with a
// strand of their own, so the peer may call it from any executor and may
// send while it waits on the receive stream. The stdio and HTTP session
// transports serve one connection: once disconnected, connect() fails with
// MCPError::connectionClosed; an in-memory end connects again, and the HTTP
// client transport starts afresh (a new stream, no session id).
class Transport {
public:
    virtual ~Transport() = default;

    // The logger the transport and the peer bound to it write to.
    virtual logging::Logger logger() const = 0;

    // Prepares the channel; must finish before send. System failures come as
    // MCPError::transportError; an in-memory end without a peer cannot
    // connect.
    virtual asio::awaitable<void> connect() = 0;

    // Closes this side and ends the stream of receive(). Never fails; does
    // nothing when not connected. The stdio transport first lets queued
    // output drain for a while; the HTTP session transport fails every
    // exchange still waiting for a reply.
    virtual asio::awaitable<void> disconnect() = 0;

    // Hands over one complete message, which reaches the peer whole and in
    // order after every message sent before it. The stdio transport queues
    // it and returns before it is written, holding the sender back while too
    // much output waits, and fails when not connected or once a write has
    // failed; the in-memory end hands it straight to its peer and fails when
    // not connected; the HTTP session transport, which has no channel of its
    // own, never fails and drops what nobody can receive. Only the HTTP
    // session transport reads what a message answers; the others send its
    // text alone.
    virtual asio::awaitable<void> send(SentMessage message) = 0;

    // The stream of received messages, read by one consumer. It ends when the
    // channel ends or the transport disconnects; the stdio and HTTP session
    // transports end it cleanly, an in-memory end with
    // MCPError::connectionClosed when its peer goes. The stdio and HTTP
    // session transports hand out the same stream on every call; an
    // in-memory end hands out a new one that takes over from the last. The
    // stdio and in-memory transports hand on texts only; a transport that
    // has parsed a message hands its value on with it.
    virtual async::Queue<ReceivedMessage> receive() = 0;

    // A transport that replaces a broken connection under the same stream
    // (the network transport) calls `handler` each time a connection is
    // lost, on an executor of its own: requests sent before then will get
    // no answer, while the stream goes on. The others never call it, so by
    // default it is dropped.
    virtual void setConnectionReplacedHandler(std::function<void()> handler) { (void)handler; }
};

}  // namespace lumenary::mcp
