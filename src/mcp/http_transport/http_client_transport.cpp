#include "mcp/http_transport/http_client_transport.hpp"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "async/cancellation.hpp"
#include "async/on_strand.hpp"
#include "async/sleep_for.hpp"
#include "async/timeout_error.hpp"
#include "async/with_timeout.hpp"
#include "logging/no_op_log_handler.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/mcp_error.hpp"
#include "mcp/core/response.hpp"
#include "mcp/http_transport/http_status_failure.hpp"
#include "system/utf8.hpp"

namespace lumenary::mcp {

namespace {

using Clock = std::chrono::steady_clock;

logging::Logger::Location transportLocation(std::string_view operation) {
    return logging::Logger::Location::fileID("MCP/HTTPClientTransport", operation);
}

async::Queue<ReceivedMessage> newInboundStream() {
    return async::Queue<ReceivedMessage>([](const ReceivedMessage& message) { return message.text.size(); });
}

std::string contentTypeOf(const http_client::HTTPHeaderFields& headers) {
    return headers.value("Content-Type").value_or("");
}

// The transport never asks for an encoded body, and reads none.
void refuseUnaskedEncoding(http_client::HTTPStreamingExchange& exchange) {
    const auto encoding = exchange.headers().value("Content-Encoding");
    if (!encoding || encoding->empty() || *encoding == "identity") {
        return;
    }
    exchange.cancel();
    throw MCPError::internalError("The answer is encoded (" + *encoding + "), which was not asked for");
}

// A length past the bound is refused before any byte is read: the body
// would fail at the bound anyway, and a server that declared it might keep
// the request waiting for bytes it never sends.
void refuseDeclaredLengthPast(http_client::HTTPStreamingExchange& exchange, std::size_t maximumBytes) {
    const auto declared = exchange.headers().value("Content-Length");
    if (!declared) {
        return;
    }
    std::uint64_t length = 0;
    const auto* end = declared->data() + declared->size();
    const auto [rest, error] = std::from_chars(declared->data(), end, length);
    if (error == std::errc() && rest == end && length <= maximumBytes) {
        return;
    }
    exchange.cancel();
    throw MCPError::internalError("The JSON answer (declared " + *declared + " bytes) passed " +
                                  std::to_string(maximumBytes) + " bytes");
}

}  // namespace

std::shared_ptr<HTTPClientTransport> HTTPClientTransport::create(asio::any_io_executor executor, std::string endpoint,
                                                                 Options options) {
    return std::shared_ptr<HTTPClientTransport>(
        new HTTPClientTransport(std::move(executor), std::move(endpoint), std::move(options)));
}

HTTPClientTransport::HTTPClientTransport(asio::any_io_executor executor, std::string endpoint, Options options)
    : endpoint_(std::move(endpoint)),
      options_(std::move(options)),
      logger_(options_.logger ? *options_.logger
                              : logging::Logger("mcp.transport.http.client", logging::NoOpLogHandler())),
      strand_(asio::make_strand(std::move(executor))),
      inbound_(newInboundStream()) {}

HTTPClientTransport::~HTTPClientTransport() {
    // Nothing else holds the connection's work to the transport; end it.
    if (connection_) {
        if (connection_->listener) {
            connection_->listener->cancel();
        }
        connection_->client->invalidate();
        connection_->inbound.finish();
        connection_->firstSessionID.resume();
    }
}

asio::awaitable<void> HTTPClientTransport::connect() {
    co_await async::onStrand(strand_, connectOnStrand(shared_from_this()));
}

asio::awaitable<void> HTTPClientTransport::disconnect() {
    co_await async::onStrand(strand_, disconnectOnStrand(shared_from_this()));
}

asio::awaitable<void> HTTPClientTransport::send(SentMessage message) {
    co_await async::onStrand(strand_, sendOnStrand(shared_from_this(), std::move(message.text)));
}

async::Queue<ReceivedMessage> HTTPClientTransport::receive() {
    std::lock_guard lock(mutex_);
    return inbound_;
}

asio::awaitable<std::optional<std::string>> HTTPClientTransport::sessionID() {
    return async::readOnStrand(strand_, shared_from_this(), &HTTPClientTransport::sessionID_);
}

asio::awaitable<void> HTTPClientTransport::connectOnStrand(std::shared_ptr<HTTPClientTransport> self) {
    if (self->connection_ && self->connection_->connected) {
        co_return;
    }
    if (self->everConnected_) {
        // A new connection never reads from, or answers for, the last one.
        std::lock_guard lock(self->mutex_);
        self->inbound_ = newInboundStream();
        self->sessionID_.reset();
    }
    self->everConnected_ = true;
    auto connection = std::make_shared<Connection>();
    connection->client = http_client::HTTPStreamingClient::create();
    {
        std::lock_guard lock(self->mutex_);
        connection->inbound = self->inbound_;
    }
    self->connection_ = connection;
    if (self->options_.streaming) {
        connection->listener = async::Task::spawn(self->strand_, listen(self->weak_from_this(), connection));
    }
    self->logger_.debug("HTTP transport connected", {}, {}, transportLocation("connect()"));
}

asio::awaitable<void> HTTPClientTransport::disconnectOnStrand(std::shared_ptr<HTTPClientTransport> self) {
    auto connection = self->connection_;
    if (!connection || !connection->connected) {
        co_return;
    }
    connection->connected = false;
    if (connection->listener) {
        // The GET stream's transfer must be over before we return: its
        // thread would otherwise still hand its end to an executor whose
        // owner may already be gone once disconnect() is done.
        auto listener = std::move(*connection->listener);
        connection->listener.reset();
        listener.cancel();
        co_await listener.join();
    }
    connection->client->invalidate();
    connection->inbound.finish();
    connection->firstSessionID.resume();
    self->logger_.debug("HTTP clienttransport disconnected", {}, {}, transportLocation("disconnect()"));
}

asio::awaitable<void> HTTPClientTransport::sendOnStrand(std::shared_ptr<HTTPClientTransport> self,
                                                        std::string message) {
    auto connection = self->connection_;
    if (!connection || !connection->connected) {
        throw MCPError::internalError("Transport not connected");
    }
    const auto requestIDs = UnansweredRequests::requestIDsIn(message);
    http_client::HTTPClientRequest request{.method = "POST",
                                        .url = self->endpoint_,
                                        .headers = {{"Accept", "application/json, text/event-stream"},
                                                    {"Content-Type", "application/json"}},
                                        .body = std::move(message),
                                        .timeouts = {.idle = self->options_.requestIdleLimit}};
    if (self->sessionID_) {
        request.headers.add("Mcp-Session-Id", *self->sessionID_);
    }
    // Filed before the bytes leave, so that an answer on the GET stream
    // cannot come before its request is known.
    connection->unanswered.file(requestIDs);
    std::exception_ptr failure;
    std::optional<std::string> whyUnanswered;
    try {
        auto exchange = co_await connection->client->start(self->modified(std::move(request)));
        whyUnanswered = co_await self->processResponse(connection, exchange);
    } catch (...) {
        failure = std::current_exception();
        whyUnanswered = "The server's answer to this request failed: " + localizedDescription(failure);
    }
    if (whyUnanswered) {
        self->failUnanswered(*connection, requestIDs, *whyUnanswered);
    } else {
        connection->unanswered.forget(requestIDs);
    }
    // Requests have had their failure through the stream; reporting it here
    // too would settle them twice.
    if (failure && (requestIDs.empty() || !connection->connected)) {
        std::rethrow_exception(failure);
    }
}

asio::awaitable<std::optional<std::string>> HTTPClientTransport::processResponse(
    std::shared_ptr<Connection> connection, http_client::HTTPStreamingExchange& exchange) {
    const auto location = transportLocation("processResponse(response:stream:)");
    const std::string contentType = contentTypeOf(exchange.headers());
    // Before the status: a failed answer may still name the session.
    captureSessionID(exchange.headers(), "processResponse(response:stream:)");
    processHTTPResponse(exchange.status(), contentType);

    if (http_client::isMediaType(contentType, "text/event-stream")) {
        logger_.trace("Received SSE response, processing in streaming task", {}, {}, location);
        refuseUnaskedEncoding(exchange);
        EventStreamProgress progress;
        co_await deliverEventStream(exchange, delivery(connection), progress);
        co_return "The server closed the event stream of this request before it answered";
    }
    if (http_client::isMediaType(contentType, "application/json")) {
        refuseUnaskedEncoding(exchange);
        refuseDeclaredLengthPast(exchange, options_.maximumMessageBytes);
        std::string body;
        while (auto piece = co_await exchange.next()) {
            if (body.size() + piece->size() > options_.maximumMessageBytes) {
                exchange.cancel();
                throw MCPError::internalError("The JSON answer passed " +
                                              std::to_string(options_.maximumMessageBytes) + " bytes");
            }
            body += *piece;
        }
        logger_.trace(
            "Received JSON response", [&] { return logging::Metadata{{"size", std::to_string(body.size())}}; }, {},
            location);
        if (auto unreadable = deliverInbound(*connection, logger_, std::move(body))) {
            co_return "The server's reply to this request could not be read: " + *unreadable;
        }
        co_return "The server's reply did not answer this request";
    }
    // Nothing to read is no answer to wait for; anything else would leave
    // the request waiting for an answer that never comes.
    const bool bodyless = exchange.status() == 202 || exchange.status() == 204;
    if (!bodyless) {
        auto piece = co_await exchange.next();
        while (piece && piece->empty()) {
            piece = co_await exchange.next();
        }
        if (piece) {
            exchange.cancel();
            throw MCPError::internalError("Unexpected content type: " + contentType);
        }
    }
    logger_.warning([&] { return "Unexpected content type: " + contentType; }, {}, {}, location);
    co_return std::nullopt;
}

std::optional<std::string> HTTPClientTransport::deliverInbound(Connection& connection, const logging::Logger& logger,
                                                               std::string text) {
    std::optional<Value> parsed;
    std::optional<std::string> unreadable;
    try {
        parsed = parseJSON(text);
    } catch (const DecodingError& error) {
        // The reader quotes the bytes it stopped at, which need not be text.
        unreadable = system::repairUTF8(error.what());
    }
    if (!parsed) {
        connection.inbound.push(ReceivedMessage(std::move(text)));
        return unreadable;
    }
    if (!connection.unanswered.noteAnswers(*parsed)) {
        logger.warning("Dropped a late answer to a request that had already failed", {}, {},
                       transportLocation("deliverInbound(_:)"));
        return std::nullopt;
    }
    connection.inbound.push(ReceivedMessage(std::move(text), std::move(*parsed)));
    return std::nullopt;
}

void HTTPClientTransport::failUnanswered(Connection& connection, const std::vector<ID>& ids,
                                         const std::string& reason) const {
    for (auto& id : connection.unanswered.fail(ids)) {
        logger_.debug(
            "Failing a request the server left unanswered",
            [&] {
                return logging::Metadata{{"id", id.description()}, {"reason", reason}};
            },
            {}, transportLocation("failUnanswered(_:reason:)"));
        auto failure = Response<AnyMethod>::failure(
            std::move(id), MCPError::transportError(std::make_exception_ptr(std::runtime_error(reason))));
        Value value = encodeResponse(std::move(failure));
        std::string text = writeJSON(value);
        connection.inbound.push(ReceivedMessage(std::move(text), std::move(value)));
    }
}

void HTTPClientTransport::processHTTPResponse(int status, const std::string& contentType) {
    auto failure = postStatusFailure(status, contentType, sessionID_.has_value(), options_.streaming);
    if (!failure) {
        return;
    }
    if (status == 404 && sessionID_) {
        logger_.warning("Session has expired", {}, {}, transportLocation("processHTTPResponse(_:contentType:)"));
        sessionID_.reset();
    }
    if (status == 405 && options_.streaming && connection_ && connection_->listener) {
        connection_->listener->cancel();
    }
    throw *failure;
}

void HTTPClientTransport::captureSessionID(const http_client::HTTPHeaderFields& headers, std::string_view operation) {
    auto id = headers.value("Mcp-Session-Id");
    if (!id) {
        return;
    }
    const bool wasAbsent = !sessionID_;
    sessionID_ = *id;
    if (wasAbsent) {
        triggerInitialSessionIDSignal();
    }
    logger_.debug(
        "Session ID received", [&] { return logging::Metadata{{"sessionID", *id}}; }, {},
        transportLocation(operation));
}

void HTTPClientTransport::triggerInitialSessionIDSignal() {
    if (connection_ && connection_->firstSessionID.resume()) {
        logger_.trace("Initial session ID signal triggered for SSE task.", {}, {},
                      transportLocation("triggerInitialSessionIDSignal()"));
    }
}

http_client::HTTPClientRequest HTTPClientTransport::modified(http_client::HTTPClientRequest request) const {
    return options_.requestModifier ? options_.requestModifier(std::move(request)) : request;
}

EventStreamDelivery HTTPClientTransport::delivery(std::shared_ptr<Connection> connection) const {
    auto inbound = connection->inbound;
    auto deliver = [connection = std::move(connection), logger = logger_](std::string text) {
        deliverInbound(*connection, logger, std::move(text));
    };
    return EventStreamDelivery{std::move(deliver), std::move(inbound), logger_, options_.maximumMessageBytes,
                               options_.maximumUndeliveredBytes};
}

asio::awaitable<void> HTTPClientTransport::listen(std::weak_ptr<HTTPClientTransport> weak,
                                                  std::shared_ptr<Connection> connection) {
    const auto location = transportLocation("startListeningForServerEvents()");
    std::chrono::milliseconds minimumInterval{0};
    std::chrono::milliseconds maximumPause{0};
    {
        auto self = weak.lock();
        if (!self || !connection->connected) {
            co_return;
        }
        minimumInterval = self->options_.listenerMinimumInterval;
        maximumPause = self->options_.listenerMaximumPause;
        if (self->sessionID_) {
            self->logger_.trace("Initial sessionID already available. Proceeding with SSE streaming task immediately.",
                                {}, {}, location);
        } else {
            self->logger_.trace("SSE streaming task waiting for initial sessionID signal...", {}, {}, location);
            const auto limit = self->options_.sseInitializationTimeout;
            auto logger = self->logger_;
            self.reset();
            bool signalled = true;
            try {
                co_await async::withTimeout(connection->firstSessionID.wait(), limit);
            } catch (const async::TimeoutError&) {
                signalled = false;
            } catch (...) {
                // Cancelled by disconnect(), which fires the signal too.
            }
            if (signalled) {
                logger.trace("SSE streaming task proceeding after initial sessionID signal.", {}, {}, location);
            } else {
                logger.warning(
                    "Timeout waiting for initial sessionID signal. SSE stream will proceed (sessionID might be nil).",
                    {}, {}, location);
            }
        }
    }

    std::string lastEventId;
    auto pause = minimumInterval;
    auto nextStart = Clock::now();
    for (;;) {
        const bool cancelled = co_await async::isCancelled();
        if (cancelled || !connection->connected || weak.expired()) {
            co_return;
        }
        if (const auto now = Clock::now(); nextStart > now) {
            try {
                co_await async::sleepFor(nextStart - now);
            } catch (...) {
                co_return;
            }
            continue;
        }
        const auto started = Clock::now();
        const auto attempt = co_await connectToEventStream(weak, connection, lastEventId);
        const bool cancelledDuring = co_await async::isCancelled();
        if (attempt.refused || cancelledDuring) {
            co_return;
        }
        if (attempt.failure) {
            if (auto self = weak.lock()) {
                self->logger_.error(
                    [&] { return "SSE connection error: " + localizedDescription(attempt.failure); }, {}, {},
                    location);
            }
        }
        const auto ended = Clock::now();
        const bool unhealthy = attempt.failure || attempt.wrongContentType || ended - started < minimumInterval;
        if (attempt.deliveredEvent) {
            pause = minimumInterval;
            nextStart = started + minimumInterval;
        } else if (unhealthy) {
            nextStart = ended + pause;
            pause = std::min(pause * 2, maximumPause);
        } else {
            nextStart = started + minimumInterval;
        }
    }
}

asio::awaitable<HTTPClientTransport::ListenAttempt> HTTPClientTransport::connectToEventStream(
    std::weak_ptr<HTTPClientTransport> weak, std::shared_ptr<Connection> connection, std::string& lastEventId) {
    const auto location = transportLocation("connectToEventStream()");
    ListenAttempt attempt;
    std::optional<http_client::HTTPClientRequest> request;
    std::optional<EventStreamDelivery> delivery;
    {
        auto self = weak.lock();
        if (!self || !connection->connected) {
            co_return attempt;
        }
        // No idle limit: a healthy stream may stay quiet for hours.
        request.emplace(http_client::HTTPClientRequest{
            .method = "GET",
            .url = self->endpoint_,
            .headers = {{"Accept", "text/event-stream"}, {"Cache-Control", "no-cache"}},
            .timeouts = {.idle = std::chrono::milliseconds(0)}});
        if (self->sessionID_) {
            request->headers.add("Mcp-Session-Id", *self->sessionID_);
        }
        // A server that keeps its events replays what the last stream
        // missed; others ignore the header.
        if (!lastEventId.empty()) {
            request->headers.add("Last-Event-ID", lastEventId);
        }
        request = self->modified(std::move(*request));
        self->logger_.debug("Starting SSE connection", {}, {}, location);
        delivery = self->delivery(connection);
    }
    EventStreamProgress progress{false, lastEventId};
    try {
        auto exchange = co_await connection->client->start(std::move(*request));
        {
            auto self = weak.lock();
            if (!self) {
                co_return attempt;
            }
            if (exchange.status() == 405) {
                attempt.refused = true;
                co_return attempt;
            }
            if (exchange.status() != 200) {
                throw MCPError::internalError("HTTP error: " + std::to_string(exchange.status()));
            }
            self->captureSessionID(exchange.headers(), "connectToEventStream()");
            const auto contentType = contentTypeOf(exchange.headers());
            if (!http_client::isMediaType(contentType, "text/event-stream")) {
                attempt.wrongContentType = true;
                throw MCPError::internalError("Unexpected content type: " + contentType);
            }
        }
        co_await deliverEventStream(exchange, std::move(*delivery), progress);
    } catch (...) {
        attempt.failure = std::current_exception();
    }
    attempt.deliveredEvent = progress.deliveredEvent;
    lastEventId = progress.lastEventId;
    co_return attempt;
}

}  // namespace lumenary::mcp
