#pragma once

#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio/awaitable.hpp>
#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/thread_pool.hpp>

#include "async/one_shot.hpp"
#include "async/queue.hpp"
#include "http_client/http_client.hpp"
#include "logging/console.hpp"
#include "mcp/server/file_status_flags.hpp"

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
//
// One thread: run() drives a single-threaded io_context, and every member
// is touched only by the coroutines it runs there (one reading the input,
// one writing the answers in the order they complete, one per exchange
// under way). The blocking HTTP exchanges run on a pool of the proxy's own
// with copies of what they need and a client lent to them; nothing there
// touches the proxy.
class StdioProxy {
public:
    // A longer line is answered with a parse error and dropped.
    static constexpr std::size_t maximumMessageLength = 32 * 1024 * 1024;
    // Exchanges beyond these wait for one to end.
    static constexpr std::size_t maximumExchangesAtOnce = 8;

    static constexpr std::string_view notRunningLine =
        R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"Lumenary server is not running. Please start the Lumenary app first."}})";

    explicit StdioProxy(std::uint16_t port, StdioProxyStreams streams = {}, StdioProxyTiming timing = {});
    ~StdioProxy();
    StdioProxy(const StdioProxy&) = delete;
    StdioProxy& operator=(const StdioProxy&) = delete;

    std::uint16_t port() const noexcept { return port_; }
    const std::string& baseURL() const noexcept { return baseURL_; }

    // Relays until the input ends and every answer under way is written,
    // then ends the MCP session when an instance still serves. Returns at
    // once, without reading the input, when no instance answers at the
    // start (the not-running line goes to the diagnostics), and early when
    // the client stops reading the output. Called once.
    void run();

private:
    // An HTTP exchange's outcome, with the client it was lent.
    struct Exchanged {
        std::unique_ptr<http_client::HTTPClient> client;
        http_client::HTTPClientResult result;
    };

    bool openStreams();
    void closeStreams();
    asio::awaitable<void> relay();
    asio::awaitable<void> readLines();
    asio::awaitable<void> writeAnswers();
    asio::awaitable<void> handleLine(std::string line);
    // Posts one message (without its line end) and returns once its reply
    // has been handled or the reply wait has passed; a later reply is still
    // written.
    asio::awaitable<void> forward(std::string message);
    asio::awaitable<void> exchange(std::string message, async::OneShot<void> handled);
    asio::awaitable<void> allExchangesEnded();
    asio::awaitable<Exchanged> send(http_client::HTTPClientRequest request);
    void handleFailure(const std::string& message, const http_client::HTTPClientError& error);
    void handleResponse(const std::string& message, http_client::HTTPClientResponse response);
    void answerWithError(const std::string& message, const std::string& description);
    asio::awaitable<void> endSession();
    void writeAnswer(std::string line);

    const std::uint16_t port_;
    const std::string baseURL_;
    const int inputDescriptor_;
    const int outputDescriptor_;
    const StdioProxyTiming timing_;
    const logging::Console console_;

    // First: the streams below are bound to it.
    asio::io_context context_{1};
    // Duplicates of the caller's descriptors, non-blocking while the relay
    // runs; the caller's flags are put back when it ends.
    mcp::SavedFileStatusFlags savedInputFlags_;
    mcp::SavedFileStatusFlags savedOutputFlags_;
    std::optional<asio::posix::stream_descriptor> input_;
    std::optional<asio::posix::stream_descriptor> output_;

    // Answer lines for the writer, in the order they complete.
    async::Queue<std::string> answers_;
    bool outputClosed_ = false;
    // The last "Mcp-Session-Id" the instance sent.
    std::optional<std::string> sessionID_;
    // The last exchange found nothing accepting connections on the port.
    bool instanceUnreachable_ = false;
    std::size_t exchangesUnderWay_ = 0;
    // Resumed when the last exchange under way ends, for the end of input.
    std::optional<async::OneShot<void>> lastExchangeEnded_;
    // Clients not lent to an exchange: each keeps its connection open, so a
    // relay that waits for each reply in turn reuses one connection.
    std::vector<std::unique_ptr<http_client::HTTPClient>> idleClients_;
    // The blocking exchanges: as many at once as a client's slow calls
    // (several tool calls in parallel) need, which the shared worker pool,
    // sized for the cores, is not. Last, so it is joined before the context
    // its completions are posted to goes.
    asio::thread_pool exchangeThreads_{maximumExchangesAtOnce};
};

}  // namespace lumenary::app
