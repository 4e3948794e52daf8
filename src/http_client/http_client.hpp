#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

#include "http_client/http_header_fields.hpp"

namespace lumenary::http_client {

struct HTTPClientTimeouts {
    // Ends the exchange when no byte has moved for this long; the time spent
    // connecting counts as idle. A server that is still thinking is idle too.
    // Zero, for a streaming exchange only: no idle limit, TCP keep-alive
    // probes the connection instead.
    std::chrono::milliseconds idle{60'000};
    // Ends it when the whole exchange takes longer; absent, only the idle
    // limit applies.
    std::optional<std::chrono::milliseconds> total{};
};

struct HTTPClientRequest {
    std::string method = "GET";
    std::string url{};
    HTTPHeaderFields headers{};
    std::string body{};
    HTTPClientTimeouts timeouts{};
};

struct HTTPClientResponse {
    int status = 0;
    HTTPHeaderFields headers{};
    std::string body{};
};

struct HTTPClientError {
    enum class Kind {
        // Nothing accepted the connection: refused, unreachable, or the
        // connect phase timed out.
        couldNotConnect,
        // Connected, but the idle or total limit passed.
        timedOut,
        // The body passed the client's limit and was dropped.
        responseTooLarge,
        // Its owner cancelled the exchange, or shut its client down.
        cancelled,
        // Anything else: a malformed URL, a dropped connection, a bad reply.
        failed,
    };

    Kind kind = Kind::failed;
    // What went wrong in words a person can act on, for example "Failed to
    // connect to 127.0.0.1 port 8765 after 0 ms: Couldn't connect to server".
    std::string description{};
};

// An HTTPClientError thrown, by the streaming exchange, whose awaited
// operations fail by throwing.
class HTTPClientFailure : public std::runtime_error {
public:
    explicit HTTPClientFailure(HTTPClientError error)
        : std::runtime_error(error.description), error_(std::move(error)) {}
    const HTTPClientError& error() const noexcept { return error_; }

private:
    HTTPClientError error_;
};

// One finished exchange: the response, whatever its status, or the error
// that ended it before a complete response arrived.
using HTTPClientResult = std::variant<HTTPClientResponse, HTTPClientError>;

// A blocking HTTP/1.1 client. It keeps its connection open between
// exchanges, follows no redirects (a 3xx is handed back as it is), and never
// goes through a proxy to reach the loopback host. One exchange at a time:
// give each thread its own client.
//
// The transfer library is loaded by the first exchange in the process, not
// at start-up; when it cannot be loaded, every exchange ends with an error
// that says so ("libcurl could not be loaded: ...").
class HTTPClient {
public:
    static constexpr std::size_t defaultMaximumResponseBytes = 64 * 1024 * 1024;

    explicit HTTPClient(std::size_t maximumResponseBytes = defaultMaximumResponseBytes);
    ~HTTPClient();
    HTTPClient(const HTTPClient&) = delete;
    HTTPClient& operator=(const HTTPClient&) = delete;

    // Sends `request` and waits for the whole response or the error that
    // ends the exchange. Never throws for a network or protocol failure.
    HTTPClientResult send(const HTTPClientRequest& request);

private:
    // The connection handle, made by the first exchange and kept opaque so
    // that no caller sees the transfer library's header.
    void* handle_;
    std::size_t maximumResponseBytes_;
};

}  // namespace lumenary::http_client
