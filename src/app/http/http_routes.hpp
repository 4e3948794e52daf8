#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include <asio/awaitable.hpp>

#include "logging/console.hpp"
#include "app/http/event_stream.hpp"
#include "app/http/event_stream_registry.hpp"
#include "app/http/http_connection.hpp"
#include "app/http/http_request_parser.hpp"
#include "app/http/session_table.hpp"

namespace lumenary::http {

// What the routes work with: the sessions, the event streams and the limits
// a request is read and streamed under. Shared by every connection, never
// changed.
struct RouteContext {
    std::shared_ptr<SessionTable> sessions;
    std::shared_ptr<EventStreamRegistry> streams;
    HTTPRequestLimits requestLimits;
    // The whole request must arrive within this time.
    std::chrono::steady_clock::duration requestTimeLimit = std::chrono::seconds(30);
    EventStream::Options streamOptions;
    logging::Console console;
    // Whether the console shows request and reply bodies, or only their
    // sizes.
    bool showsBodies = false;
};

enum class RouteOutcome : std::uint8_t {
    answered,      // the answer is written; the connection ends
    becameStream,  // an event stream owns the connection from here on
    clientGone,    // the client closed before its answer came; nothing is written
    handedOver,    // the connection moved to its session's thread, which serves the rest
};

// Serves one accepted connection: reads its one request, routes it and ends
// the connection, unless it became an event stream. An event stream for a
// session that lives on another thread is handed over there once, with its
// connection, and served there; a POST stays on its connection's thread.
asio::awaitable<void> serveConnection(std::shared_ptr<HTTPConnection> connection,
                                      std::shared_ptr<const RouteContext> context);

// Answers one request on "/mcp" (and "/sse", except DELETE): OPTIONS with the
// CORS pre-flight, POST by handing one JSON-RPC message or batch to the
// session's server and answering with its reply, GET by opening an event
// stream, DELETE by ending a session. Requests from another origin, or for
// another host, are refused. It never fails: every failure is an answer.
asio::awaitable<RouteOutcome> route(HTTPRequest request, std::shared_ptr<HTTPConnection> connection,
                                    std::shared_ptr<const RouteContext> context);

}  // namespace lumenary::http
