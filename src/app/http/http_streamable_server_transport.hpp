#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <asio/awaitable.hpp>

#include "app/http/json_rpc_id.hpp"
#include "async/one_shot.hpp"
#include "async/queue.hpp"
#include "logging/logger.hpp"
#include "mcp/core/mcp_error.hpp"
#include "mcp/core/transport.hpp"

namespace lumenary::http {

// A POST body the transport refuses before the server sees it, with the
// HTTP status to answer and the error to send as a JSON-RPC reply: 400 for a
// body that is not JSON, a batch that is empty or malformed, or a request
// whose id is already waiting for a reply; 503 while too much input waits
// for the server.
class RefusedMessage : public std::exception {
public:
    explicit RefusedMessage(mcp::MCPError error, int status = 400) : error_(std::move(error)), status_(status) {}
    const mcp::MCPError& error() const noexcept { return error_; }
    int status() const noexcept { return status_; }
    const char* what() const noexcept override { return error_.what(); }

private:
    mcp::MCPError error_;
    int status_;
};

// The transport under the MCP server of one HTTP session. Each POST body is
// one incoming message; a request's HTTP exchange waits, parked under its
// id, until the server sends the reply carrying that id, and a batch waits
// for the array of replies to its requests. Whatever the server sends that
// answers no waiting exchange (notifications, requests to the client, replies
// to id-less input) goes to the broadcaster, which the HTTP server points at
// the session's event streams.
//
// Its state sits under one lock held for a few steps at a time and never
// across a suspension: parking and handing in happen in one step, so a reply
// can never come before its exchange waits, and taking and resuming happen in
// one step, so a reply reaches exactly one exchange.
class HTTPStreamableServerTransport final : public mcp::Transport {
public:
    using Broadcaster = std::function<asio::awaitable<void>(std::string message)>;

    // Input waiting for the server; past either bound a POST is refused
    // rather than held, so a client cannot make a busy session grow without
    // bound.
    struct Limits {
        std::size_t maximumQueuedMessages = 1024;
        std::size_t maximumQueuedBytes = 64 * 1024 * 1024;
    };

    static std::shared_ptr<HTTPStreamableServerTransport> create();
    static std::shared_ptr<HTTPStreamableServerTransport> create(Limits limits);

    HTTPStreamableServerTransport(const HTTPStreamableServerTransport&) = delete;
    HTTPStreamableServerTransport& operator=(const HTTPStreamableServerTransport&) = delete;

    logging::Logger logger() const override { return logger_; }
    // Fails once the transport has been disconnected: it is never reused.
    asio::awaitable<void> connect() override;
    // Ends the stream of incoming messages and fails every waiting exchange
    // with the internal error "Transport disconnected", also when the server
    // never connected. A second call does nothing.
    asio::awaitable<void> disconnect() override;
    // Never fails; after disconnect the message is dropped.
    asio::awaitable<void> send(std::string message) override;
    async::Queue<mcp::ReceivedMessage> receive() override { return messages_; }

    void setBroadcaster(Broadcaster broadcaster);

    // Hands one POST body to the server. Returns the reply, or nothing when
    // the body holds no request (a notification, a batch of notifications).
    // Throws RefusedMessage for input refused above, and the internal error
    // "Transport disconnected" when the session has ended.
    asio::awaitable<std::optional<std::string>> handleRequest(std::string body);

private:
    explicit HTTPStreamableServerTransport(Limits limits);

    using Reply = async::OneShot<std::string>;
    struct ParkedBatch {
        std::vector<std::string> idKeys;  // sorted
        Reply reply;
    };

    std::optional<Reply> parkAndHandIn(std::string body, std::optional<JSONRPCID> id,
                                       std::optional<std::vector<std::string>> batchKeys);
    std::optional<Reply> takeWaitingExchange(const std::string& message);

    const logging::Logger logger_;
    const Limits limits_;
    async::Queue<mcp::ReceivedMessage> messages_;

    std::mutex mutex_;
    bool isConnected_ = false;
    bool isClosed_ = false;
    std::unordered_map<JSONRPCID, Reply> pendingResponses_;
    // Oldest first: a server answers messages in the order they came, so of
    // two batches with the same ids the older one is answered first.
    std::list<ParkedBatch> pendingBatches_;
    Broadcaster broadcaster_;
};

}  // namespace lumenary::http
