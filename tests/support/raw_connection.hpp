#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A raw socket client that talks to an HTTP server byte by byte, as any HTTP
// client would, so a test sees the exact bytes the server sends. Every wait
// has a deadline.
namespace lumenary::testing {

inline constexpr std::chrono::seconds rawConnectionDeadline{10};

// A blocking TCP client connection.
class RawConnection {
public:
    explicit RawConnection(std::uint16_t port, const std::string& address = "127.0.0.1", int receiveBuffer = 0);
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool isConnected() const { return descriptor_ >= 0; }
    void send(std::string_view bytes);
    void shutdownWrite();
    // Everything until the server closes (or the deadline).
    std::string readToEnd(std::chrono::milliseconds limit = rawConnectionDeadline);
    // Reads until `text` has arrived; all bytes read so far, or nothing at the
    // deadline or the end.
    std::optional<std::string> readUntil(std::string_view text,
                                         std::chrono::milliseconds limit = rawConnectionDeadline);
    // True once the server has closed the connection.
    bool waitForClose(std::chrono::milliseconds limit = rawConnectionDeadline);

private:
    // Reads what comes within `limit`; false at the end or the deadline.
    bool fill(std::chrono::steady_clock::time_point until);

    int descriptor_ = -1;
    bool ended_ = false;
    std::string received_;
};

struct Response {
    int status = 0;
    std::string statusLine;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    std::optional<std::string> header(std::string_view name) const;
    std::vector<std::string> headerNames() const;
};

Response parseResponse(const std::string& bytes);

// "POST /mcp" with the given body and optional session id.
std::string postRequest(std::string_view body, std::optional<std::string> sessionID = std::nullopt,
                        std::string path = "/mcp");

// Sends one request on a fresh connection and returns the whole response
// up to the server's close; empty when nothing listens.
std::string exchange(std::uint16_t port, std::string_view request);

}  // namespace lumenary::testing
