// The routes of the HTTP server: one request per connection, answered and
// closed, except an event stream, which stays open.
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/post.hpp>

#include "app/http/event_stream_text.hpp"
#include "app/http/loopback_origin.hpp"
#include "app/http/mcp_http_server.hpp"
#include "mcp/core/id.hpp"
#include "mcp/core/utf8.hpp"

namespace lumenary::http {

namespace {

const HTTPHeaders plainTextHeaders{{"Content-Type", "text/plain"}};

const HTTPHeaders preflightHeaders{
    {"Access-Control-Allow-Origin", "*"},
    {"Access-Control-Allow-Methods", "GET, POST, DELETE, OPTIONS"},
    {"Access-Control-Allow-Headers", "Content-Type, Accept, Mcp-Session-Id"},
    {"Access-Control-Expose-Headers", "Mcp-Session-Id"},
    {"Access-Control-Max-Age", "86400"},
};

const HTTPHeaders deleteHeaders{{"Access-Control-Allow-Origin", "*"}};

HTTPHeaders exchangeHeaders(const std::string& sessionID) {
    return {{"Content-Type", "application/json"}, {"Access-Control-Allow-Origin", "*"}, {"Mcp-Session-Id", sessionID}};
}

// The client's session id, or a new one: a random UUID in upper case.
std::string sessionIDFor(const HTTPRequest& request) {
    if (const auto* id = request.header("mcp-session-id")) {
        return *id;
    }
    return mcp::ID::random().description();
}

std::string_view textOrNil(std::string_view bytes) {
    return mcp::isValidUTF8(bytes) ? bytes : std::string_view("nil");
}

}  // namespace

asio::awaitable<void> MCPHTTPServer::serveConnection(std::shared_ptr<HTTPConnection> connection) {
    const auto self = shared_from_this();
    bool becameStream = false;
    try {
        auto outcome = co_await connection->readRequest(options_.requestLimits, options_.requestTimeLimit);
        if (auto* request = std::get_if<HTTPRequest>(&outcome)) {
            becameStream = co_await handleRequest(std::move(*request), connection);
        } else if (auto* refused = std::get_if<HTTPRequestError>(&outcome)) {
            console_.print("Refused request: ", std::to_string(refused->status), " ", refused->reason);
            co_await sendHTTPResponse(connection, refused->status, refused->statusText, plainTextHeaders,
                                      refused->reason);
        }
    } catch (...) {
        console_.print("Error serving connection: ", mcp::localizedDescription(std::current_exception()));
    }
    if (becameStream) {
        co_return;
    }
    co_await connection->finish();
    connectionEnded(connection->number());
}

asio::awaitable<bool> MCPHTTPServer::handleRequest(HTTPRequest request, std::shared_ptr<HTTPConnection> connection) {
    console_.print("Received request: ", request.method, " ", request.path);
    if (const auto* origin = request.header("origin"); origin && !isLoopbackOrigin(*origin)) {
        console_.print("Rejected request from origin: ", *origin);
        co_await sendHTTPResponse(connection, 403, "Forbidden", plainTextHeaders, "Origin not allowed");
        co_return false;
    }
    // A page that rebinds its own name to the loopback address sends that
    // name here.
    if (const auto* host = request.header("host"); host && !isLoopbackHost(*host)) {
        console_.print("Rejected request for host: ", *host);
        co_await sendHTTPResponse(connection, 403, "Forbidden", plainTextHeaders, "Host not allowed");
        co_return false;
    }

    const bool isEndpoint = request.path == "/mcp" || request.path == "/sse";
    if (request.method == "OPTIONS" && isEndpoint) {
        co_await sendHTTPResponse(connection, 204, "No Content", preflightHeaders, "");
    } else if (request.method == "DELETE" && request.path == "/mcp") {
        co_await handleDelete(std::move(request), connection);
    } else if (request.method == "GET" && isEndpoint) {
        co_return co_await handleEventStream(std::move(request), connection);
    } else if (request.method == "POST" && isEndpoint) {
        co_await handlePost(std::move(request), connection);
    } else {
        co_await sendHTTPResponse(connection, 404, "Not Found", plainTextHeaders, "Not Found");
    }
    co_return false;
}

asio::awaitable<void> MCPHTTPServer::handleDelete(HTTPRequest request, std::shared_ptr<HTTPConnection> connection) {
    const auto* sessionID = request.header("mcp-session-id");
    if (sessionID == nullptr) {
        co_await sendHTTPResponse(connection, 400, "Bad Request", plainTextHeaders, "Missing Mcp-Session-Id header");
        co_return;
    }
    console_.print("DELETE session: ", *sessionID);
    co_await removeSession(*sessionID);
    co_await sendHTTPResponse(connection, 204, "No Content", deleteHeaders, "");
}

asio::awaitable<void> MCPHTTPServer::handlePost(HTTPRequest request, std::shared_ptr<HTTPConnection> connection) {
    const std::string sessionID = sessionIDFor(request);
    console_.print("POST ", request.path, " request, sessionID: ", sessionID);
    console_.print("Request body: ", textOrNil(request.body));

    int status = 200;
    std::string_view statusText = "OK";
    std::string body;
    std::shared_ptr<Session> session;
    try {
        session = co_await acquireSession(sessionID);
        auto reply = co_await session->state.transport->handleRequest(std::move(request.body));
        if (reply) {
            console_.print("Got response from transport: ", textOrNil(*reply));
            body = std::move(*reply);
        } else {
            console_.print("Notification processed (no response needed)");
            status = 202;
            statusText = "Accepted";
        }
    } catch (const RefusedMessage& refused) {
        console_.print("Refused request: ", refused.what());
        status = refused.status();
        statusText = status == 503 ? "Service Unavailable" : "Bad Request";
        body = jsonRPCErrorBody(refused.error().code(), refused.error().errorDescription());
    } catch (...) {
        const auto description = mcp::localizedDescription(std::current_exception());
        console_.print("Error handling request: ", description);
        status = 500;
        statusText = "Internal Server Error";
        body = jsonRPCErrorBody(-32603, description);
    }
    if (session) {
        releaseSession(*session);
    }
    const HTTPHeaders headers = exchangeHeaders(sessionID);
    co_await sendHTTPResponse(connection, status, statusText, headers, body);
    console_.print("Closing POST connection");
}

asio::awaitable<bool> MCPHTTPServer::handleEventStream(HTTPRequest request,
                                                       std::shared_ptr<HTTPConnection> connection) {
    const std::string sessionID = sessionIDFor(request);
    console_.print("SSE connection established, sessionID: ", sessionID);
    std::shared_ptr<Session> session;
    std::string failure;
    try {
        session = co_await acquireSession(sessionID);
    } catch (...) {
        failure = mcp::localizedDescription(std::current_exception());
    }
    if (!session) {
        console_.print("Error opening event stream: ", failure);
        const HTTPHeaders headers = exchangeHeaders(sessionID);
        co_await sendHTTPResponse(connection, 500, "Internal Server Error", headers, jsonRPCErrorBody(-32603, failure));
        co_return false;
    }

    // Events are small and must not wait for the peer's acknowledgement.
    asio::error_code ignored;
    connection->socket().set_option(asio::ip::tcp::no_delay(true), ignored);
    auto stream = EventStream::create(connection, mcp::ID::random().description(), sessionID,
                                      {options_.heartbeatInterval, options_.maximumStreamBacklogBytes}, console_);
    console_.print("Sending SSE headers for session: ", sessionID);
    stream->send(eventStreamHead(sessionID));
    const bool registered = co_await registerStream(stream, session);
    releaseSession(*session);
    if (registered) {
        stream->send(connectedEvent(sessionID));
        console_.print("SSE initial message sent to client: ", stream->clientID());
    }
    // The stream owns the connection from here on, and gives its slot back
    // when it ends.
    stream->monitor([weak = weak_from_this()](std::shared_ptr<EventStream> ended) {
        if (auto self = weak.lock()) {
            // The server travels in the frame: the stream may end while the
            // server is being dropped.
            asio::co_spawn(
                self->strand_,
                [](std::shared_ptr<MCPHTTPServer> server,
                   std::shared_ptr<EventStream> endedStream) -> asio::awaitable<void> {
                    co_await server->streamEnded(std::move(endedStream));
                }(self, std::move(ended)),
                asio::detached);
        }
    });
    if (!registered) {
        stream->close();
    }
    co_return true;
}

asio::awaitable<void> MCPHTTPServer::sendHTTPResponse(std::shared_ptr<HTTPConnection> connection, int status,
                                                      std::string_view statusText, const HTTPHeaders& headers,
                                                      std::string_view body) {
    auto bytes = httpResponseBytes(status, statusText, headers, body);
    if (console_.isEnabled()) {
        console_.print("Sending response with ", std::to_string(bytes.size()), " bytes");
    }
    const auto error = co_await connection->write(std::move(bytes));
    if (error) {
        console_.print("Error sending response: ", error.message());
    }
}

}  // namespace lumenary::http
