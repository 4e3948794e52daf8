#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "app/host/http_exchange_workers.hpp"
#include "http_client/http_client.hpp"
#include "logging/console.hpp"

namespace lumenary::app {

// Where the proxy reads and writes. It uses the descriptors and never closes
// them. Only replies ever reach `output`; every other line goes to
// `diagnostics`, which the proxy gives its own prefix.
struct StdioProxyStreams {
    int input = STDIN_FILENO;
    int output = STDOUT_FILENO;
    logging::Console diagnostics = logging::Console::standardError({});
};

struct StdioProxyTiming {
    // The check that an instance serves before anything is relayed.
    http_client::HTTPClientTimeouts check{std::chrono::milliseconds(1000), std::chrono::milliseconds(2000)};
    // One relayed message: a tool call may think for a while.
    http_client::HTTPClientTimeouts post{std::chrono::seconds(60), std::nullopt};
    // How long `forward` waits for a reply before the next line may go; a
    // reply that comes later is still written.
    std::chrono::milliseconds replyWait{std::chrono::seconds(30)};
    // Ending the session when the input ends.
    http_client::HTTPClientTimeouts sessionEnd{std::chrono::milliseconds(1000), std::chrono::milliseconds(2000)};
};

// Lets an MCP client that can only launch a command reach the instance
// already serving on the loopback port: reads the client's JSON-RPC
// messages one per line, posts each to the instance's "/mcp" endpoint within
// one MCP session, and writes each reply as one line.
//
// Every request gets one answer: the reply, the instance's JSON-RPC error,
// or an error of the proxy's own carrying the request's id. An instance that
// goes away does not end the relay: each line is still posted, and answered
// with the forward failure while nothing serves, so the client's requests
// already on their way are all answered and a new instance on the port is
// reached by the lines after it. The session id goes with them; the endpoint
// takes up a session under an id it does not know, so the client's
// conversation goes on there.
class StdioProxy {
public:
    // A longer line is answered with a parse error and dropped.
    static constexpr std::size_t maximumMessageLength = 32 * 1024 * 1024;

    static constexpr std::string_view notRunningLine =
        R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"Lumenary server is not running. Please start the Lumenary app first."}})";

    explicit StdioProxy(std::uint16_t port, StdioProxyStreams streams = {}, StdioProxyTiming timing = {});
    // Waits for the exchanges still under way.
    ~StdioProxy() = default;
    StdioProxy(const StdioProxy&) = delete;
    StdioProxy& operator=(const StdioProxy&) = delete;

    std::uint16_t port() const noexcept { return port_; }
    const std::string& baseURL() const noexcept { return baseURL_; }
    // The last "Mcp-Session-Id" the instance sent.
    std::optional<std::string> sessionID() const;
    // Cleared when the relay ends.
    bool isRunning() const noexcept { return isRunning_; }

    // True when the instance answers "OPTIONS" on the endpoint with 200 or 204.
    bool checkServerRunning();

    // Posts one message (without its line end) and returns once its reply
    // has been handled or the reply wait has passed.
    void forward(std::string message);

    // Relays until the input ends, then ends the MCP session when an
    // instance still serves. Returns at once, without reading the input,
    // when no instance answers at the start (the not-running line goes to
    // the diagnostics), and early when the client stops reading the output.
    void run();

private:
    void handleLine(std::string line);
    void relay(const std::string& message, http_client::HTTPClient& client);
    void handleFailure(const std::string& message, const http_client::HTTPClientError& error);
    void handleResponse(const std::string& message, http_client::HTTPClientResponse response);
    void answerWithError(const std::string& message, const std::string& description);
    void endSession();

    std::size_t readInput(char* buffer, std::size_t capacity);
    void writeReply(std::string line);
    void setSessionID(std::string id);

    const std::uint16_t port_;
    const std::string baseURL_;
    const int input_;
    const int output_;
    const StdioProxyTiming timing_;
    const logging::Console console_;

    // Replies complete on worker threads, so a late one can overlap the
    // next exchange: the session id and the output each have a lock, the
    // flags are atomic.
    mutable std::mutex sessionMutex_;
    std::optional<std::string> sessionID_;
    std::mutex outputMutex_;

    std::atomic<bool> isRunning_{true};
    std::atomic<bool> outputClosed_{false};
    // The last exchange found nothing accepting connections on the port.
    std::atomic<bool> instanceUnreachable_{false};

    // The session end, on the thread that runs the proxy.
    http_client::HTTPClient controlClient_;
    // Last: its threads use every member above until they are joined.
    HTTPExchangeWorkers workers_;
};

}  // namespace lumenary::app
