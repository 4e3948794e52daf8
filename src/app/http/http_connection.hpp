#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include "app/http/body_budget.hpp"
#include "app/http/http_request_parser.hpp"
#include "logging/console.hpp"

namespace lumenary::http {

// One accepted TCP connection: it reads one request and writes what answers
// it. It only moves bytes; what they mean is the parser's and the router's.
//
// Its state belongs to the executor it runs on, which one thread runs: every
// operation runs there, except close(), which any thread may call, as it
// only posts end() there. moveTo() hands the connection, between two
// operations, to another such executor; the executor itself sits under a
// mutex for close()'s sake.
class HTTPConnection : public std::enable_shared_from_this<HTTPConnection> {
public:
    using Clock = std::chrono::steady_clock;
    // Runs once, when the connection ends, however it ends.
    using EndHandler = std::function<void()>;

    // The peer went away, or took too long, before its request was complete.
    struct Ended {};
    using ReadOutcome = std::variant<HTTPRequest, HTTPRequestError, Ended>;

    HTTPConnection(asio::ip::tcp::socket socket, asio::ip::tcp::endpoint peer, std::uint64_t number,
                   logging::Console console, std::shared_ptr<BodyBudget> bodyBudget, EndHandler onEnd);
    ~HTTPConnection();

    HTTPConnection(const HTTPConnection&) = delete;
    HTTPConnection& operator=(const HTTPConnection&) = delete;

    std::uint64_t number() const noexcept { return number_; }
    // Where the connection runs now.
    asio::any_io_executor executor();
    asio::ip::tcp::socket& socket() noexcept { return socket_; }
    // "address:port" of the peer.
    std::string remoteDescription() const;
    // The connection's console lines: they go out together as it ends, or
    // at flushConsole().
    logging::ConsoleLines& console() noexcept { return console_; }
    // Hands the lines gathered so far over, before a wait, say.
    void flushConsole();

    // Reads until one request is complete, refused, or the peer ends. The
    // whole request must arrive within `timeLimit`, so a peer that sends
    // nothing, or trickles, cannot hold the connection. Bytes that come with
    // the peer's end of stream still count. A body is read only when the
    // body budget has room for its declared size (a chunked body's, for each
    // chunk as it is announced), else the request is refused with 503; the
    // bytes stay reserved until the connection ends, or, once handed over
    // with handOverBodyReservation(), until their holder lets them go.
    asio::awaitable<ReadOutcome> readRequest(HTTPRequestLimits limits, Clock::duration timeLimit);

    // While a request waits for its answer: calls `onPeerClose` once, on
    // the connection's strand, when the peer closes its side or the
    // connection fails, discarding whatever else the peer sends, so that a
    // client that gives up frees its connection at once. stopWatching() ends
    // the watch without a call; call it before writing the answer.
    void watchForPeerClose(std::function<void()> onPeerClose);
    void stopWatching();
    bool hasPeerClosed() const noexcept { return hasPeerClosed_; }

    // Gives the body's bytes back before the connection ends, once nothing
    // holds the body any more (an event stream keeps its connection long
    // after its request is gone).
    void releaseBodyReservation() { bodyReservation_.release(); }
    // Hands the body's bytes over to what holds the body from now on (the
    // message a session's server is yet to handle, which outlives a
    // notification's connection); they come back when it lets go.
    std::shared_ptr<const void> handOverBodyReservation() {
        return std::make_shared<const BodyBudget::Reservation>(std::move(bodyReservation_));
    }

    // Writes all of `bytes`, the answer that ends the connection; the error
    // when the connection failed. Never throws. Their last segment waits for
    // finish() (or end()), so that the end of the stream leaves with it:
    // follow it with one of them at once.
    asio::awaitable<asio::error_code> writeAnswer(std::string bytes);

    // Ends an answered connection. With input still unread it first stops
    // sending and lets the peer read the answer: closing then would reset the
    // connection, which can discard the answer on the peer's side.
    asio::awaitable<void> finish();

    // Moves the socket and the connection's timer to `executor`, where the
    // connection runs from then on; call it on the current executor with no
    // operation pending. The socket stays the same, so the peer sees nothing.
    // False, with the connection ended, when the system refuses the move.
    bool moveTo(asio::any_io_executor executor);

    // Closes the socket, gives the body's bytes back and reports the end;
    // pending operations end with an error. Later calls do nothing.
    void end();

    // end(), from any thread.
    void close();

private:
    // Makes the reservation cover `bodyBytes`; false when the budget has no
    // room for them.
    bool reserveBody(std::size_t bodyBytes);
    // The time limit of readRequest(), armed while it waits for more bytes.
    void armReadDeadline(Clock::duration timeLimit);
    void disarmReadDeadline();
    void watchRead(std::function<void()> onPeerClose);
    // Where reads go: the small buffer, or a larger one once a request has
    // filled the small one in a single read.
    asio::mutable_buffer readBuffer();

    asio::ip::tcp::socket socket_;
    const asio::ip::tcp::endpoint peer_;
    asio::steady_timer deadline_;
    const std::uint64_t number_;
    logging::ConsoleLines console_;
    const std::shared_ptr<BodyBudget> bodyBudget_;
    EndHandler onEnd_;
    BodyBudget::Reservation bodyReservation_;
    // Whether the timer was ever set: one never set has nothing to cancel.
    bool hasUsedDeadline_ = false;
    bool timedOut_ = false;
    bool isReadingRequest_ = false;
    bool hasUnreadInput_ = false;
    // Most requests fit the small buffer, which is part of the connection;
    // what a client sends after its request is read into it too, only to see
    // the end behind it.
    std::array<char, 2048> smallBuffer_;
    std::unique_ptr<char[]> largeBuffer_;
    bool isWatching_ = false;
    bool isWatchReadPending_ = false;
    bool hasPeerClosed_ = false;

    std::mutex executorMutex_;
    asio::any_io_executor executor_;
};

}  // namespace lumenary::http
