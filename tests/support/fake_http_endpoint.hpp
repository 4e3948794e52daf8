#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lumenary::testing {

struct ReceivedHTTPRequest {
    std::string method;
    std::string path;
    // Names lower-cased.
    std::map<std::string, std::string> headers;
    std::string body;

    std::optional<std::string> header(const std::string& lowerCaseName) const {
        const auto found = headers.find(lowerCaseName);
        return found == headers.end() ? std::nullopt : std::optional(found->second);
    }
};

struct CannedHTTPResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers{};
    std::string body{};
    // Closes the connection without answering.
    bool hangUp = false;
    // Answers only once `release()` is called (or hangs up when the endpoint
    // goes first).
    bool heldUntilReleased = false;

    // A streamed answer: the head, then `body` and each of `pieces` as one
    // chunk of a chunked body, `pieceDelay` before each piece.
    std::vector<std::string> pieces{};
    std::chrono::milliseconds pieceDelay{0};
    // After the pieces, sends `trickle` every `pieceDelay` until the client
    // or the endpoint goes: an endless stream.
    std::string trickle{};
    // After the pieces, keeps the stream open until `release()` or the end
    // of the endpoint.
    bool heldOpenAfterPieces = false;
    // Sent as chunks once released, before the body ends.
    std::vector<std::string> piecesAfterRelease{};
    // Closes the connection after the pieces without ending the body: a
    // hang-up inside it.
    bool hangUpAfterPieces = false;

    bool isStreamed() const { return !pieces.empty() || !trickle.empty() || heldOpenAfterPieces || hangUpAfterPieces; }
};

// A tiny HTTP endpoint on an ephemeral loopback port for tests of HTTP
// clients: it answers each request with what the responder returns, one
// request per connection, and records every request it read.
class FakeHTTPEndpoint {
public:
    using Responder = std::function<CannedHTTPResponse(const ReceivedHTTPRequest&)>;

    // On `port`, or on an ephemeral one when it is 0.
    explicit FakeHTTPEndpoint(Responder responder, std::uint16_t port = 0);
    ~FakeHTTPEndpoint();
    FakeHTTPEndpoint(const FakeHTTPEndpoint&) = delete;
    FakeHTTPEndpoint& operator=(const FakeHTTPEndpoint&) = delete;

    std::uint16_t port() const noexcept { return port_; }
    std::string url(const std::string& path = "/mcp") const;

    std::vector<ReceivedHTTPRequest> requests() const;
    // Connections accepted and not yet closed by the endpoint.
    std::size_t openConnectionCount() const;
    // The requests read so far with this method.
    std::size_t requestCount(const std::string& method) const;
    // True once `count` requests have been read; false past the deadline.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Lets every held response go.
    void release();
    // Closes the listener: later connections are refused.
    void stopListening();

private:
    void acceptLoop();
    void serve(int connection);
    void stream(int connection, const CannedHTTPResponse& response);
    // Waits `delay`; false when the endpoint is stopping.
    bool pause(std::chrono::milliseconds delay);

    Responder responder_;
    std::uint16_t port_ = 0;
    int listener_ = -1;
    int wakePipe_[2] = {-1, -1};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<ReceivedHTTPRequest> requests_;
    std::vector<int> openConnections_;
    bool released_ = false;
    bool stopping_ = false;

    std::vector<std::thread> connectionThreads_;
    std::thread acceptThread_;
};

// A loopback port where nothing listens (bound, then closed at once).
std::uint16_t unusedLoopbackPort();

}  // namespace lumenary::testing
