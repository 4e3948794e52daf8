#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumenary::testing {

// One TCP connection to the loopback address, written and read with plain
// system calls, so a test sees the exact bytes an HTTP server sends.
class RawHTTPConnection {
public:
    using Clock = std::chrono::steady_clock;

    // Connects to 127.0.0.1:port; `isOpen()` says whether that worked.
    explicit RawHTTPConnection(std::uint16_t port);
    ~RawHTTPConnection();
    RawHTTPConnection(const RawHTTPConnection&) = delete;
    RawHTTPConnection& operator=(const RawHTTPConnection&) = delete;

    bool isOpen() const noexcept { return descriptor_ >= 0; }
    bool send(std::string_view bytes);
    // Everything received so far once it contains `marker`; absent when the
    // peer closes or the deadline passes first.
    std::optional<std::string> readUntil(std::string_view marker,
                                         std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Everything up to the peer's close (or the deadline).
    std::string readAll(std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    bool fill(Clock::time_point deadline);

    int descriptor_ = -1;
    std::string received_;
    bool closed_ = false;
};

// Sends one request and returns the whole response up to the server's close.
std::string httpExchange(std::uint16_t port, std::string_view request);

// A POST of `body` to `path` with the headers an MCP client sends.
std::string postRequest(std::string_view path, std::string_view body, std::string_view extraHeaders = {});

// The value of a response header, looked up without regard to case.
std::optional<std::string> headerValue(std::string_view response, std::string_view name);
// The status code of a response, or 0 when there is none.
int statusCode(std::string_view response);
// The body after the blank line.
std::string responseBody(std::string_view response);

}  // namespace lumenary::testing
