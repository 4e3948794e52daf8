#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include "logging/console.hpp"
#include "app/http/http_request_parser.hpp"

namespace lumenary::http {

// One accepted TCP connection: it reads one request and writes what answers
// it. It only moves bytes; what they mean is the parser's and the router's.
//
// Every operation runs on the socket's executor (a strand of its own), except
// close(), which any thread may call.
class HTTPConnection : public std::enable_shared_from_this<HTTPConnection> {
public:
    using Clock = std::chrono::steady_clock;

    // The peer went away, or took too long, before its request was complete.
    struct Ended {};
    using ReadOutcome = std::variant<HTTPRequest, HTTPRequestError, Ended>;

    HTTPConnection(asio::ip::tcp::socket socket, std::uint64_t number, logging::Console console);

    HTTPConnection(const HTTPConnection&) = delete;
    HTTPConnection& operator=(const HTTPConnection&) = delete;

    std::uint64_t number() const noexcept { return number_; }
    asio::ip::tcp::socket& socket() noexcept { return socket_; }
    // "address:port" of the peer, or "unknown".
    std::string remoteDescription() const;

    // Reads until one request is complete, refused, or the peer ends. The
    // whole request must arrive within `timeLimit`, so a peer that sends
    // nothing, or trickles, cannot hold the connection. Bytes that come with
    // the peer's end of stream still count.
    asio::awaitable<ReadOutcome> readRequest(HTTPRequestLimits limits, Clock::duration timeLimit);

    // Writes all of `bytes`; the error when the connection failed. Never
    // throws.
    asio::awaitable<asio::error_code> write(std::string bytes);

    // Ends an answered connection. With input still unread it first stops
    // sending and lets the peer read the answer: closing then would reset the
    // connection, which can discard the answer on the peer's side.
    asio::awaitable<void> finish();

    // Closes the socket from any thread; pending operations end with an error.
    void close();

private:
    asio::ip::tcp::socket socket_;
    asio::steady_timer deadline_;
    const std::uint64_t number_;
    const logging::Console console_;
    bool timedOut_ = false;
    bool hasUnreadInput_ = false;
};

}  // namespace lumenary::http
