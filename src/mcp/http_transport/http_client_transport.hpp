#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/strand.hpp>

#include "async/one_shot.hpp"
#include "async/queue.hpp"
#include "async/task.hpp"
#include "http_client/http_header_fields.hpp"
#include "http_client/http_streaming_client.hpp"
#include "logging/logger.hpp"
#include "mcp/core/transport.hpp"
#include "mcp/http_transport/event_stream_delivery.hpp"
#include "mcp/http_transport/http_client_transport_options.hpp"
#include "mcp/http_transport/unanswered_requests.hpp"

namespace lumenary::mcp {

// The client side of Streamable HTTP. Every message goes out as the body of
// one POST to the endpoint; the server answers with one JSON message, with
// an event stream of messages (read inside send(), which returns when the
// server ends it), or with nothing (202). The server names its session in
// "Mcp-Session-Id" and every later request carries it back. With
// `streaming`, a GET event stream stays open for what the server sends on
// its own. Whatever way a message arrives, it goes to the one stream of
// receive(); the transport never parses a message.
//
// Several sends run at once beside the GET stream, so a server that asks the
// client something in the middle of an answer gets the reply on another POST
// while the first is still open.
//
// A POST's own reply is where the answers to its requests come, unless one
// came on the GET stream first; nothing resumes a POST's event stream. So
// once a POST's exchange has ended (its JSON reply read or found unreadable,
// its event stream over, or the exchange failed), each request it carried
// that no answer reached fails: the transport puts an error response under
// the request's id into the stream of receive(), in order after whatever
// the server did send, code -32001 (a transport error) with a message that
// says why ("Transport error: The server closed the event stream of this
// request before it answered"). Each request of a batch is judged on its
// own. An answer that arrives later for a request failed so is dropped with
// one log record. A reply with no body (202) is no answer: its requests go
// on waiting for the GET stream. A request whose POST is still open waits
// without a time-out. The transport reads request ids from the messages it
// sends and response ids from those it receives; a received message that is
// JSON goes on parsed.
//
// The strand guards all its state; the one exception is the handle of the
// inbound stream, which receive() hands out from any thread under `mutex_`.
// Background work holds the transport weakly: a transport dropped without
// disconnect() ends its GET stream and its exchanges.
//
// After disconnect(), connect() starts afresh: a new inbound stream for
// receive(), new exchanges, no session id.
class HTTPClientTransport final : public Transport, public std::enable_shared_from_this<HTTPClientTransport> {
public:
    using Options = HTTPClientTransportOptions;

    static std::shared_ptr<HTTPClientTransport> create(asio::any_io_executor executor, std::string endpoint,
                                                       Options options = {});
    ~HTTPClientTransport() override;
    HTTPClientTransport(const HTTPClientTransport&) = delete;
    HTTPClientTransport& operator=(const HTTPClientTransport&) = delete;

    logging::Logger logger() const override { return logger_; }
    // Never fails; a second call while connected does nothing.
    asio::awaitable<void> connect() override;
    // Cancels the GET stream and every exchange (their sends fail), ends the
    // inbound stream after what it holds. Does nothing when not connected.
    asio::awaitable<void> disconnect() override;
    // Fails with "Transport not connected" before connect(). Once the POST
    // went out, a failure is reported here only for a message that carries
    // no request, or after disconnect(); the requests of any other fail
    // through receive() as above, the failure's text in their message. The
    // failures: the status texts of a failed answer; "Unexpected content
    // type: ..." for a non-empty answer that is neither JSON nor an event
    // stream; a JSON answer past its bound, declared or read; an answer
    // with a Content-Encoding, which the transport never asks for; the HTTP
    // client's HTTPClientFailure when the exchange itself fails.
    asio::awaitable<void> send(SentMessage message) override;
    // The same stream on every call until the next connect() after a
    // disconnect().
    async::Queue<ReceivedMessage> receive() override;

    const std::string& endpoint() const noexcept { return endpoint_; }
    std::chrono::milliseconds sseInitializationTimeout() const noexcept { return options_.sseInitializationTimeout; }
    // The last "Mcp-Session-Id" the server sent, unless a 404 cleared it.
    asio::awaitable<std::optional<std::string>> sessionID();

private:
    // What one connect() starts and disconnect() ends.
    struct Connection {
        std::shared_ptr<http_client::HTTPStreamingClient> client;
        async::Queue<ReceivedMessage> inbound;
        // Fired by the first session id, or by disconnect(); stays fired, so
        // an id that arrives before the GET stream waits is never missed.
        async::OneShot<void> firstSessionID;
        std::optional<async::Task> listener;
        UnansweredRequests unanswered;
        bool connected = true;
    };

    // How one GET attempt ended, for the pacing of the next.
    struct ListenAttempt {
        std::exception_ptr failure;
        bool refused = false;  // 405: the server offers no GET stream
        bool deliveredEvent = false;
        bool wrongContentType = false;
    };

    HTTPClientTransport(asio::any_io_executor executor, std::string endpoint, Options options);

    static asio::awaitable<void> connectOnStrand(std::shared_ptr<HTTPClientTransport> self);
    static asio::awaitable<void> disconnectOnStrand(std::shared_ptr<HTTPClientTransport> self);
    static asio::awaitable<void> sendOnStrand(std::shared_ptr<HTTPClientTransport> self, std::string message);

    // Why the requests of the POST that the reply left unanswered fail;
    // nothing when the reply was no answer.
    asio::awaitable<std::optional<std::string>> processResponse(std::shared_ptr<Connection> connection,
                                                                http_client::HTTPStreamingExchange& exchange);
    // Hands a received message on, unless it is a late answer to requests
    // failed already. Returns why it is no JSON, when it is none.
    static std::optional<std::string> deliverInbound(Connection& connection, const logging::Logger& logger,
                                                     std::string text);
    void failUnanswered(Connection& connection, const std::vector<ID>& ids, const std::string& reason) const;
    void processHTTPResponse(int status, const std::string& contentType);
    void captureSessionID(const http_client::HTTPHeaderFields& headers, std::string_view operation);
    void triggerInitialSessionIDSignal();
    http_client::HTTPClientRequest modified(http_client::HTTPClientRequest request) const;
    EventStreamDelivery delivery(std::shared_ptr<Connection> connection) const;

    // The GET stream: one task per connection, holding the transport weakly.
    static asio::awaitable<void> listen(std::weak_ptr<HTTPClientTransport> weak,
                                        std::shared_ptr<Connection> connection);
    static asio::awaitable<ListenAttempt> connectToEventStream(std::weak_ptr<HTTPClientTransport> weak,
                                                               std::shared_ptr<Connection> connection,
                                                               std::string& lastEventId);

    const std::string endpoint_;
    const Options options_;
    const logging::Logger logger_;
    asio::strand<asio::any_io_executor> strand_;

    std::optional<std::string> sessionID_;
    std::shared_ptr<Connection> connection_;
    bool everConnected_ = false;

    mutable std::mutex mutex_;
    async::Queue<ReceivedMessage> inbound_;
};

}  // namespace lumenary::mcp
