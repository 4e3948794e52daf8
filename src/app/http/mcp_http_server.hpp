#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "app/http/console_body.hpp"
#include "app/http/event_stream_registry.hpp"
#include "app/http/http_listener.hpp"
#include "app/http/http_request_parser.hpp"
#include "app/http/http_routes.hpp"
#include "app/http/session_table.hpp"
#include "logging/console.hpp"

namespace lumenary::http {

// The HTTP server through which Streamable-HTTP MCP clients reach the
// program, put together from its parts: the listener with its connections
// and limits (HTTPListener), the sessions (SessionTable), the event streams
// (EventStreamRegistry) and the routes that answer each request with them
// (route). See those for what each does.
//
// Sessions end when their client deletes them, when an event stream opened
// for them ends, after a time without requests or streams, when the number of
// sessions reaches its limit (the longest idle goes), or when the server
// stops.
//
// It runs on the executors it is given, each run by one thread (or a strand;
// EndpointThreads makes such a set): each accepts, reads and answers
// connections of its own, and each session's server runs on the thread that
// read its first request. A POST read on another thread hands its message to
// the session's thread and takes the reply back; an event stream moves to
// its session's thread once.
//
// It holds nothing that changes: its parts are made with it, and each guards
// its own state.
class MCPHTTPServer {
public:
    using Clock = std::chrono::steady_clock;
    using MakeSessionServer = SessionTable::MakeSessionServer;

    struct Options {
        HTTPRequestLimits requestLimits;
        // The whole request must arrive within this time.
        Clock::duration requestTimeLimit = std::chrono::seconds(30);
        Clock::duration heartbeatInterval = std::chrono::seconds(15);
        // Unwritten bytes an event stream may hold before it is closed.
        std::size_t maximumStreamBacklogBytes = 1024 * 1024;
        // A session without requests or open streams for this long ends.
        Clock::duration sessionIdleTimeLimit = std::chrono::minutes(30);
        std::size_t maximumSessions = 1024;
        // Open connections, event streams included; accepting waits at the
        // limit.
        std::size_t maximumConnections = 1024;
        // Request bodies in flight together; a body that would pass it is
        // refused with 503 before it is read.
        std::size_t maximumBodyBytesInFlight = 256 * 1024 * 1024;
        logging::Console console = logging::Console::standardError("[MCPHTTPServer] ");
        // Whether the console shows request and reply bodies, or only their
        // sizes; see isBodyLoggingRequested().
        bool showsBodies = isBodyLoggingRequested();
    };

    static std::shared_ptr<MCPHTTPServer> create(asio::any_io_executor executor, MakeSessionServer makeSessionServer);
    static std::shared_ptr<MCPHTTPServer> create(asio::any_io_executor executor, MakeSessionServer makeSessionServer,
                                                 Options options);
    // At least one executor.
    static std::shared_ptr<MCPHTTPServer> create(std::vector<asio::any_io_executor> executors,
                                                 MakeSessionServer makeSessionServer, Options options);

    MCPHTTPServer(const MCPHTTPServer&) = delete;
    MCPHTTPServer& operator=(const MCPHTTPServer&) = delete;

    // Listens on 127.0.0.1 (and on ::1 where the system has it) and returns
    // the port: `preferredPort`, or one the system chose when it is 0. While
    // running it returns the running port whatever is asked. Throws the
    // system's error (an asio::system_error) when it cannot listen.
    asio::awaitable<std::uint16_t> start(std::uint16_t preferredPort);

    // Stops listening, closes every connection and event stream and ends
    // every session. The server may be started again. Call it before letting
    // the server go: until then its tasks keep its parts alive.
    asio::awaitable<void> stop();

    // The port while running.
    asio::awaitable<std::optional<std::uint16_t>> port();

    // The ids of the live sessions.
    asio::awaitable<std::vector<std::string>> sessionIDs();

    // Sends the tool list-changed notification through every session's
    // server; each reaches the event streams of its own session.
    asio::awaitable<void> notifyToolListChanged();

    // Writes a message as a data event to the open event streams of one
    // session, as its server's messages that answer no POST are.
    asio::awaitable<void> broadcast(std::string message, std::string sessionID);

private:
    MCPHTTPServer(std::vector<asio::any_io_executor> executors, MakeSessionServer makeSessionServer, Options options);

    const logging::Console console_;
    const bool showsBodies_;
    const std::shared_ptr<EventStreamRegistry> streams_;
    const std::shared_ptr<SessionTable> sessions_;
    const std::shared_ptr<HTTPListener> listener_;
};

}  // namespace lumenary::http
