// The message loop and the dispatch of requests, notifications and batches.
#include <chrono>

#include <asio/this_coro.hpp>

#include "async/cancellation.hpp"
#include "async/sleep_for.hpp"
#include "mcp/core/classified_envelopes.hpp"
#include "mcp/core/coders.hpp"
#include "mcp/core/handshake.hpp"
#include "mcp/core/message_classification.hpp"
#include "mcp/server/server.hpp"

namespace lumenary::mcp {

namespace {

constexpr std::string_view dispatchLogSource = "MCP";

// A reply that cannot be written (text that is not UTF-8, say) goes out as
// the internal error it is, under the same id.
std::string responseText(const Response<AnyMethod>& response) {
    // Room for a small reply, which then costs one allocation.
    constexpr std::size_t smallReplySize = 128;
    std::string text;
    text.reserve(smallReplySize);
    try {
        appendResponseJSON(text, response);
    } catch (...) {
        text.clear();
        appendResponseJSON(text, Response<AnyMethod>::failure(response.id, asMCPError(std::current_exception())));
    }
    return text;
}

}  // namespace

asio::awaitable<void> Server::messageLoop(std::shared_ptr<Transport> transport) {
    auto stream = transport->receive();
    // Read once: asking for it anew would cost a coroutine frame per message.
    const auto cancellation = co_await asio::this_coro::cancellation_state;
    std::exception_ptr failure;
    try {
        while (auto message = co_await stream.next()) {
            if (cancellation.cancelled() != asio::cancellation_type::none) {
                break;
            }
            co_await dispatchMessage(std::move(*message));
        }
    } catch (...) {
        failure = std::current_exception();
    }
    // Only stop() makes the wait end quietly; a stream that fails with an
    // abort of its own is still a fatal failure.
    const bool stopped = co_await async::isCancelled();
    if (const auto& logger = this->logger()) {
        if (failure && !(stopped && async::isCancellationError(failure))) {
            logger->error(
                "Fatal error in message handling loop",
                [&] {
                    return logging::Metadata{{"error", localizedDescription(failure)}};
                },
                dispatchLogSource);
        }
        logger->debug("Server finished", {}, dispatchLogSource);
    }
}

asio::awaitable<void> Server::dispatchMessage(ReceivedMessage received) {
    std::optional<Value> message = std::move(received.parsed);
    if (!message) {
        try {
            message = parseJSON(received.text);
        } catch (const DecodingError&) {
        }
    }

    std::exception_ptr failure;
    std::optional<ID> failureID;
    bool answerFailure = true;
    try {
        if (!message) {
            throw MCPError::parseError("Invalid message format");
        }
        auto classification = classifyMessage(*message);
        // A request the server refuses is answered under its own id, and an
        // invalid message under the id it carries when that one is readable.
        failureID = classification.answeredUnder();
        switch (classification.kind) {
            case MessageKind::batch:
                co_await dispatchBatch(*message);
                co_return;
            case MessageKind::request: {
                // The handler is awaited here rather than through
                // dispatchRequest: one coroutine frame less per request.
                auto request = takeClassifiedRequest(*message, std::move(*classification.id));
                auto route = routeRequest(request, false);
                auto* response = std::get_if<Response<AnyMethod>>(&route);
                std::optional<Response<AnyMethod>> handled;
                if (response == nullptr) {
                    std::exception_ptr handlerFailure;
                    try {
                        handled = co_await std::get<0>(route)->handle(std::move(request));
                    } catch (...) {
                        handlerFailure = std::current_exception();
                    }
                    if (handlerFailure) {
                        handled = Response<AnyMethod>::failure(*failureID, asMCPError(handlerFailure));
                    }
                    response = &*handled;
                }
                std::exception_ptr sendFailure;
                try {
                    co_await sendOnStrand(responseText(*response));
                    co_return;
                } catch (...) {
                    sendFailure = std::current_exception();
                }
                // A reply that could not be sent is followed by its error
                // reply under the request's id; should that fail too, the
                // loop reports it below.
                co_await sendOnStrand(
                    responseText(Response<AnyMethod>::failure(*failureID, asMCPError(sendFailure))));
                co_return;
            }
            case MessageKind::notification:
                // A notification is never answered, not even when refused.
                answerFailure = false;
                co_await dispatchNotification(takeClassifiedNotification(*message));
                co_return;
            case MessageKind::response:
            case MessageKind::errorResponse:
            case MessageKind::invalid:
                break;
        }
        throw MCPError::parseError("Invalid message format");
    } catch (...) {
        failure = std::current_exception();
    }

    if (isResourceTemporarilyUnavailable(failure)) {
        try {
            co_await async::sleepFor(std::chrono::milliseconds(10));
        } catch (...) {
        }
        co_return;
    }
    if (const auto& logger = this->logger()) {
        logger->error(
            "Error processing message",
            [&] {
                return logging::Metadata{{"error", localizedDescription(failure)}};
            },
            dispatchLogSource);
    }
    if (answerFailure) {
        co_await this->answerFailure(failure, std::move(failureID));
    }
}

asio::awaitable<void> Server::answerFailure(std::exception_ptr failure, std::optional<ID> id) {
    auto response = Response<AnyMethod>::failure(id ? std::move(*id) : ID::random(), asMCPError(failure));
    try {
        co_await sendOnStrand(writeJSON(encodeValue(response)));
    } catch (...) {
        // The peer may be gone; the loop goes on with the next message.
    }
}

void Server::requireInitialized() const {
    if (!isInitialized_) {
        throw MCPError::invalidRequest("Server is not initialized");
    }
}

std::variant<std::shared_ptr<RequestHandlerBox>, Response<AnyMethod>> Server::routeRequest(Request<AnyMethod>& request,
                                                                                           bool isBatchItem) {
    if (request.method.empty() && isBatchItem) {
        return Response<AnyMethod>::failure(std::move(request.id),
                                            MCPError::invalidRequest("Invalid batch item format"));
    }
    if (const auto& logger = this->logger()) {
        logger->trace(
            "Processing request",
            [&] {
                return logging::Metadata{{"method", request.method}, {"id", request.id.description()}};
            },
            dispatchLogSource);
    }
    if (configuration_.strict && request.method != Initialize::name && request.method != Ping::name) {
        requireInitialized();
    }
    const auto found = methodHandlers_.find(request.method);
    if (found == methodHandlers_.end() || !found->second) {
        return Response<AnyMethod>::failure(std::move(request.id),
                                            MCPError::methodNotFound("Unknown method: " + request.method));
    }
    return found->second;
}

asio::awaitable<Response<AnyMethod>> Server::dispatchRequest(Request<AnyMethod> request, bool isBatchItem) {
    auto route = routeRequest(request, isBatchItem);
    if (auto* response = std::get_if<Response<AnyMethod>>(&route)) {
        co_return std::move(*response);
    }
    ID id = request.id;
    std::exception_ptr failure;
    try {
        auto response = co_await std::get<0>(route)->handle(std::move(request));
        co_return response;
    } catch (...) {
        failure = std::current_exception();
    }
    co_return Response<AnyMethod>::failure(std::move(id), asMCPError(failure));
}

asio::awaitable<void> Server::dispatchNotification(Message<AnyNotification> message) {
    if (const auto& logger = this->logger()) {
        logger->trace(
            "Processing notification",
            [&] {
                return logging::Metadata{{"method", message.method}};
            },
            dispatchLogSource);
    }
    if (configuration_.strict && message.method != InitializedNotification::name) {
        requireInitialized();
    }
    const auto found = notificationHandlers_.find(message.method);
    if (found == notificationHandlers_.end()) {
        co_return;
    }
    // A copy: a handler may register another one for the same name.
    const auto boxes = found->second;
    for (const auto& box : boxes) {
        try {
            co_await box->handle(message);
        } catch (...) {
            const auto failure = std::current_exception();
            if (const auto& logger = this->logger()) {
                logger->error(
                    "Error handling notification",
                    [&] {
                        return logging::Metadata{{"method", message.method}, {"error", localizedDescription(failure)}};
                    },
                    dispatchLogSource);
            }
        }
    }
}

asio::awaitable<void> Server::dispatchBatch(const Value& message) {
    // One element that is neither a request nor a notification makes the
    // whole array unreadable; an array has no id, so its parse error goes
    // out under a fresh one.
    // What the classifier takes for a batch reads as one; should the two
    // ever part, the sender still gets its parse error.
    Batch batch;
    try {
        batch = decodeValue<Batch>(message);
    } catch (const DecodingError&) {
        throw MCPError::parseError("Invalid message format");
    }
    if (const auto& logger = this->logger()) {
        logger->trace(
            "Processing batch request",
            [&] {
                return logging::Metadata{{"size", std::to_string(batch.items.size())}};
            },
            dispatchLogSource);
    }
    if (batch.items.empty()) {
        co_await sendOnStrand(writeJSON(encodeValue(
            Response<AnyMethod>::failure(ID::random(), MCPError::invalidRequest("Batch array must not be empty")))));
        co_return;
    }

    Value::Array responses;
    for (auto& item : batch.items) {
        if (auto* request = std::get_if<Request<AnyMethod>>(&item)) {
            ID id = request->id;
            try {
                // Kept out of the condition: g++ 12 miscompiles a co_await there.
                auto response = co_await dispatchRequest(std::move(*request), true);
                responses.push_back(encodeResponse(std::move(response)));
            } catch (...) {
                responses.push_back(
                    encodeValue(Response<AnyMethod>::failure(std::move(id), asMCPError(std::current_exception()))));
            }
        } else {
            try {
                co_await dispatchNotification(std::move(std::get<Message<AnyNotification>>(item)));
            } catch (...) {
            }
        }
    }
    if (responses.empty()) {
        co_return;
    }
    co_await sendOnStrand(writeJSON(Value(std::move(responses))));
}

}  // namespace lumenary::mcp
