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

#include "async/one_shot.hpp"
#include "async/queue.hpp"
#include "logging/logger.hpp"
#include "mcp/core/id.hpp"
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
// one incoming message, handed on with the value it was parsed into. The
// core's classifier says what a message is and under which id the server
// answers it, here and in the server's dispatch, so the two can never
// disagree: a message the server answers under an id has its HTTP exchange
// wait, parked under that id, until the server sends a message answering
// that id, and a batch waits for the array of replies answering its
// requests. What a sent message answers is what the server says it answers;
// its text is never parsed here. Whatever the server sends that answers no
// waiting exchange (notifications, requests to the client, replies to
// id-less input) goes to the broadcaster, which the HTTP server points at
// the session's event streams.
//
// Its state sits under its mutex, held for a few steps at a time and never
// across a suspension: parking and handing in happen in one step, so a reply
// can never come before its exchange waits, and taking and resuming happen in
// one step, so a reply reaches exactly one exchange.
class HTTPStreamableServerTransport final : public mcp::Transport,
                                            public std::enable_shared_from_this<HTTPStreamableServerTransport> {
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
    // Ends the stream of incoming messages, dropping those the server has
    // not taken yet, and fails every waiting exchange with the internal
    // error "Transport disconnected", also when the server never connected.
    // A second call does nothing.
    asio::awaitable<void> disconnect() override;
    // Never fails; after disconnect the message is dropped.
    asio::awaitable<void> send(mcp::SentMessage message) override;
    async::Queue<mcp::ReceivedMessage> receive() override { return messages_; }

    void setBroadcaster(Broadcaster broadcaster);

    // A POST waiting for the reply the server sends under its id.
    class WaitingExchange {
    public:
        // The reply; throws the internal error "Transport disconnected" when
        // the session ends first. Cancelled, it gives the exchange up.
        asio::awaitable<std::string> reply();
        // The reply is dropped when it comes, and the id stays taken until
        // then; reply() ends at once with an error.
        void giveUp();

    private:
        friend class HTTPStreamableServerTransport;
        WaitingExchange(std::weak_ptr<HTTPStreamableServerTransport> transport, async::OneShot<std::string> reply,
                        std::uint64_t number)
            : transport_(std::move(transport)), reply_(std::move(reply)), number_(number) {}

        std::weak_ptr<HTTPStreamableServerTransport> transport_;
        async::OneShot<std::string> reply_;
        std::uint64_t number_;
    };

    // Hands one POST body to the server, in one step with parking its
    // exchange when the server answers it under an id; nothing to wait for
    // otherwise (a notification, a batch of notifications, a message without
    // a readable id). Throws RefusedMessage for input refused above, and the
    // internal error "Transport disconnected" when the session has ended.
    // `charge`, what the body is charged to, goes with the message and is
    // let go once the server has handled it.
    std::optional<WaitingExchange> handIn(std::string body, std::shared_ptr<const void> charge = nullptr);

    // One HTTP exchange: hands one POST body to the server and returns the
    // reply, or nothing when the server answers the body under no id (a
    // notification, a batch of notifications, a message without a readable
    // id). Throws RefusedMessage for input refused above, and the internal
    // error "Transport disconnected" when the session has ended. Cancelled,
    // it gives its exchange up: the reply is dropped when it comes, and the
    // id stays taken until then.
    asio::awaitable<std::optional<std::string>> exchange(std::string body);

private:
    explicit HTTPStreamableServerTransport(Limits limits);

    using Reply = async::OneShot<std::string>;
    // One waiting exchange; given up, it only keeps its id taken until the
    // reply comes, which is then dropped.
    struct Parked {
        Reply reply;
        std::uint64_t number = 0;
        bool isAbandoned = false;
    };
    struct ParkedBatch {
        std::vector<mcp::ID> ids;  // in idOrder
        Parked parked;
    };
    std::optional<WaitingExchange> parkAndHandIn(std::string body, mcp::Value message, std::optional<mcp::ID> id,
                                                 std::optional<std::vector<mcp::ID>> batchIDs,
                                                 std::shared_ptr<const void> charge);
    void abandon(std::uint64_t number);
    // The exchange waiting for the ids a message the server sends answers,
    // taken out; absent for one that answers none.
    std::optional<Parked> takeWaitingExchange(const mcp::SentMessage& message);

    const logging::Logger logger_;
    const Limits limits_;
    async::Queue<mcp::ReceivedMessage> messages_;

    std::mutex mutex_;
    bool isConnected_ = false;
    bool isClosed_ = false;
    std::uint64_t nextExchangeNumber_ = 0;
    std::unordered_map<mcp::ID, Parked> pendingResponses_;
    // Oldest first: a server answers messages in the order they came, so of
    // two batches with the same ids the older one is answered first.
    std::list<ParkedBatch> pendingBatches_;
    Broadcaster broadcaster_;
};

}  // namespace lumenary::http
