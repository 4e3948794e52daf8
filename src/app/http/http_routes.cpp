#include "app/http/http_routes.hpp"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include "app/http/console_body.hpp"
#include "app/http/event_stream_text.hpp"
#include "app/http/http_response.hpp"
#include "app/http/loopback_origin.hpp"
#include "mcp/core/id.hpp"

namespace lumenary::http {

namespace {

using Context = std::shared_ptr<const RouteContext>;
using Connection = std::shared_ptr<HTTPConnection>;

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

asio::awaitable<void> sendHTTPResponse(const Connection& connection, int status, std::string_view statusText,
                                       const HTTPHeaders& headers, std::string_view body) {
    auto bytes = httpResponseBytes(status, statusText, headers, body);
    if (connection->console().isEnabled()) {
        connection->console().print("Sending response with ", std::to_string(bytes.size()), " bytes");
    }
    const auto error = co_await connection->writeAnswer(std::move(bytes));
    if (error) {
        connection->console().print("Error sending response: ", error.message());
    }
}

asio::awaitable<RouteOutcome> routeDelete(HTTPRequest request, Connection connection, Context context) {
    const auto* sessionID = request.header("mcp-session-id");
    if (sessionID == nullptr) {
        co_await sendHTTPResponse(connection, 400, "Bad Request", plainTextHeaders, "Missing Mcp-Session-Id header");
        co_return RouteOutcome::answered;
    }
    connection->console().print("DELETE session: ", *sessionID);
    co_await context->sessions->remove(*sessionID);
    co_await sendHTTPResponse(connection, 204, "No Content", deleteHeaders, "");
    co_return RouteOutcome::answered;
}

// Ends a connection as its request's outcome says.
asio::awaitable<void> conclude(const Connection& connection, RouteOutcome outcome) {
    if (outcome == RouteOutcome::answered) {
        co_await connection->finish();
    } else if (outcome == RouteOutcome::clientGone) {
        connection->end();
    }
}

// Whether the session's requests are served on another thread than the one
// this connection runs on.
bool livesElsewhere(const Connection& connection, const HTTPSession& session) {
    return connection->socket().get_executor() != session.executor();
}

// Moves the connection to the session's thread and serves the rest of the
// request there, from `serve` on; the session stays acquired for it.
template <typename Serve>
RouteOutcome handOver(const Connection& connection, const Context& context, const std::shared_ptr<HTTPSession>& session,
                      Serve serve) {
    if (!connection->moveTo(session->executor())) {
        context->sessions->release(*session);
        return RouteOutcome::handedOver;
    }
    asio::co_spawn(
        session->executor(),
        [](Connection movedConnection, Serve rest) -> asio::awaitable<void> {
            auto outcome = RouteOutcome::answered;
            try {
                outcome = co_await rest();
            } catch (...) {
                movedConnection->console().print("Error serving connection: ",
                                                 mcp::localizedDescription(std::current_exception()));
            }
            co_await conclude(movedConnection, outcome);
        }(connection, std::move(serve)),
        asio::detached);
    return RouteOutcome::handedOver;
}

// The session's side of a POST: hands the body to its server, waits for the
// reply and answers with it. Runs on the connection's thread, which may be
// another than the session's.
asio::awaitable<RouteOutcome> exchangeOnSession(std::string body, std::shared_ptr<const void> bodyCharge,
                                                std::string sessionID, std::shared_ptr<HTTPSession> session,
                                                std::exception_ptr failure, Connection connection, Context context) {
    auto& console = connection->console();
    std::optional<std::string> reply;
    try {
        if (failure) {
            std::rethrow_exception(failure);
        }
        // The body's charge goes with its message: a notification is
        // answered before its server has handled it.
        auto waiting = session->transport()->handIn(std::move(body), std::move(bodyCharge));
        if (waiting) {
            // A client that gives up must not hold its connection, nor leave
            // its exchange waiting, until a reply that may never come.
            connection->watchForPeerClose([waiting = *waiting]() mutable { waiting.giveUp(); });
            // A reply can take long: what the request brought is on the
            // console meanwhile.
            connection->flushConsole();
            reply = co_await waiting->reply();
            connection->stopWatching();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (session) {
        context->sessions->release(*session);
    }
    if (connection->hasPeerClosed()) {
        console.print("Client closed the connection before its reply came");
        co_return RouteOutcome::clientGone;
    }
    connection->stopWatching();

    int status = 200;
    std::string_view statusText = "OK";
    std::string answer;
    if (!failure) {
        if (reply) {
            if (console.isEnabled()) {
                console.print("Got response from transport: ", consoleBody(*reply, context->showsBodies));
            }
            answer = std::move(*reply);
        } else {
            console.print("Notification processed (no response needed)");
            status = 202;
            statusText = "Accepted";
        }
    } else {
        try {
            std::rethrow_exception(failure);
        } catch (const RefusedMessage& refused) {
            console.print("Refused request: ", refused.what());
            status = refused.status();
            statusText = status == 503 ? "Service Unavailable" : "Bad Request";
            answer = jsonRPCErrorBody(refused.error().code(), refused.error().errorDescription());
        } catch (...) {
            const auto description = mcp::localizedDescription(std::current_exception());
            console.print("Error handling request: ", description);
            status = 500;
            statusText = "Internal Server Error";
            answer = jsonRPCErrorBody(-32603, description);
        }
    }
    const HTTPHeaders headers = exchangeHeaders(sessionID);
    co_await sendHTTPResponse(connection, status, statusText, headers, answer);
    console.print("Closing POST connection");
    co_return RouteOutcome::answered;
}

asio::awaitable<RouteOutcome> routePost(HTTPRequest request, Connection connection, Context context) {
    auto& console = connection->console();
    std::string sessionID = sessionIDFor(request);
    if (console.isEnabled()) {
        console.print("POST ", request.path, " request, sessionID: ", sessionID);
        console.print("Request body: ", consoleBody(request.body, context->showsBodies));
    }

    std::exception_ptr failure;
    std::shared_ptr<HTTPSession> session;
    try {
        session = co_await context->sessions->acquire(sessionID, connection->socket().get_executor());
    } catch (...) {
        failure = std::current_exception();
    }
    // Served here even when the session lives on another thread: only the
    // message goes there and its reply comes back, two cheap hand-offs
    // between running threads, where moving the connection would cost
    // re-registering its socket and leave every request of a busy session,
    // its reads, writes and closes included, to that one thread.
    auto bodyCharge = connection->handOverBodyReservation();
    co_return co_await exchangeOnSession(std::move(request.body), std::move(bodyCharge), std::move(sessionID),
                                         std::move(session), failure, std::move(connection), std::move(context));
}

// Runs once on the stream's strand as the stream ends: the stream was its
// session's way back to the client, so the session ends with it.
void streamEnded(std::weak_ptr<const RouteContext> weakContext, std::shared_ptr<EventStream> stream) {
    auto context = weakContext.lock();
    if (!context) {
        return;
    }
    auto session = context->streams->remove(*stream);
    if (!session) {
        return;
    }
    context->sessions->streamClosed(*session);
    const auto executor = session->executor();
    asio::co_spawn(executor, context->sessions->end(std::move(session)), asio::detached);
}

asio::awaitable<RouteOutcome> openEventStream(std::string sessionID, std::shared_ptr<HTTPSession> session,
                                              Connection connection, Context context);

asio::awaitable<RouteOutcome> routeEventStream(HTTPRequest request, Connection connection, Context context) {
    auto& console = connection->console();
    const std::string sessionID = sessionIDFor(request);
    console.print("SSE connection established, sessionID: ", sessionID);
    std::shared_ptr<HTTPSession> session;
    std::string failure;
    try {
        session = co_await context->sessions->acquire(sessionID, connection->socket().get_executor());
    } catch (...) {
        failure = mcp::localizedDescription(std::current_exception());
    }
    if (!session) {
        console.print("Error opening event stream: ", failure);
        const HTTPHeaders headers = exchangeHeaders(sessionID);
        co_await sendHTTPResponse(connection, 500, "Internal Server Error", headers, jsonRPCErrorBody(-32603, failure));
        co_return RouteOutcome::answered;
    }
    // The stream runs where its session's server sends from.
    if (livesElsewhere(connection, *session)) {
        co_return handOver(connection, context, session, [sessionID, session, connection, context]() {
            return openEventStream(sessionID, session, connection, context);
        });
    }
    co_return co_await openEventStream(std::move(sessionID), std::move(session), std::move(connection),
                                       std::move(context));
}

// The session's side of a GET: the connection becomes one of its event
// streams. Runs on the session's thread.
asio::awaitable<RouteOutcome> openEventStream(std::string sessionID, std::shared_ptr<HTTPSession> session,
                                              Connection connection, Context context) {
    auto& console = connection->console();
    connection->releaseBodyReservation();
    // Events are small and must not wait for the peer's acknowledgement.
    asio::error_code ignored;
    connection->socket().set_option(asio::ip::tcp::no_delay(true), ignored);
    auto stream = EventStream::create(connection, mcp::ID::random().description(), sessionID, context->streamOptions,
                                      context->console);
    console.print("Sending SSE headers for session: ", sessionID);
    stream->send(eventStreamHead(sessionID));
    // Queued before the stream is registered, so that it is the first event
    // whatever the session's server sends meanwhile.
    stream->send(connectedEvent(sessionID));
    // Registered first and counted second: a session that ends between the
    // two finds the stream and closes it, or the count refuses it.
    bool isRegistered = context->streams->add(stream, session);
    if (isRegistered && !context->sessions->streamOpened(*session)) {
        context->streams->remove(*stream);
        isRegistered = false;
    }
    context->sessions->release(*session);
    if (isRegistered) {
        console.print("SSE initial message sent to client: ", stream->clientID());
    }
    stream->monitor([weakContext = std::weak_ptr<const RouteContext>(context)](std::shared_ptr<EventStream> ended) {
        streamEnded(weakContext, std::move(ended));
    });
    // The connection stays open for as long as the stream does.
    connection->flushConsole();
    if (!isRegistered) {
        stream->close();
    }
    co_return RouteOutcome::becameStream;
}

}  // namespace

asio::awaitable<void> serveConnection(std::shared_ptr<HTTPConnection> connection,
                                      std::shared_ptr<const RouteContext> context) {
    auto outcome = RouteOutcome::answered;
    try {
        auto read = co_await connection->readRequest(context->requestLimits, context->requestTimeLimit);
        if (auto* request = std::get_if<HTTPRequest>(&read)) {
            outcome = co_await route(std::move(*request), connection, context);
        } else if (auto* refused = std::get_if<HTTPRequestError>(&read)) {
            connection->console().print("Refused request: ", std::to_string(refused->status), " ", refused->reason);
            co_await sendHTTPResponse(connection, refused->status, refused->statusText, plainTextHeaders,
                                      refused->reason);
        }
    } catch (...) {
        connection->console().print("Error serving connection: ", mcp::localizedDescription(std::current_exception()));
    }
    co_await conclude(connection, outcome);
}

asio::awaitable<RouteOutcome> route(HTTPRequest request, std::shared_ptr<HTTPConnection> connection,
                                    std::shared_ptr<const RouteContext> context) {
    auto& console = connection->console();
    console.print("Received request: ", request.method, " ", request.path);
    if (const auto* origin = request.header("origin"); origin && !isLoopbackOrigin(*origin)) {
        console.print("Rejected request from origin: ", *origin);
        co_await sendHTTPResponse(connection, 403, "Forbidden", plainTextHeaders, "Origin not allowed");
        co_return RouteOutcome::answered;
    }
    // A page that rebinds its own name to the loopback address sends that
    // name here.
    if (const auto* host = request.header("host"); host && !isLoopbackHost(*host)) {
        console.print("Rejected request for host: ", *host);
        co_await sendHTTPResponse(connection, 403, "Forbidden", plainTextHeaders, "Host not allowed");
        co_return RouteOutcome::answered;
    }

    const bool isEndpoint = request.path == "/mcp" || request.path == "/sse";
    if (request.method == "OPTIONS" && isEndpoint) {
        co_await sendHTTPResponse(connection, 204, "No Content", preflightHeaders, "");
        co_return RouteOutcome::answered;
    }
    if (request.method == "DELETE" && request.path == "/mcp") {
        co_return co_await routeDelete(std::move(request), std::move(connection), std::move(context));
    }
    if (request.method == "GET" && isEndpoint) {
        co_return co_await routeEventStream(std::move(request), std::move(connection), std::move(context));
    }
    if (request.method == "POST" && isEndpoint) {
        co_return co_await routePost(std::move(request), std::move(connection), std::move(context));
    }
    co_await sendHTTPResponse(connection, 404, "Not Found", plainTextHeaders, "Not Found");
    co_return RouteOutcome::answered;
}

}  // namespace lumenary::http
