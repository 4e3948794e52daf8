// The message loop and the dispatch of requests, notifications and batches.
#include <chrono>

#include <asio/this_coro.hpp>

#include "async/cancellation.hpp"
#include "async/capture.hpp"
#include "async/sleep_for.hpp"
#include "mcp/core/classified_envelopes.hpp"
#include "mcp/core/coders.hpp"
#include "mcp/core/handshake.hpp"
#include "mcp/core/message_classification.hpp"
#include "mcp/server/server.hpp"

namespace lumenary::mcp {

namespace {

constexpr std::string_view dispatchLogSource = "MCP";

// The message's value: the one the transport parsed, else the text's. A text
// that is no JSON reads as null, which classifies as invalid.
Value readMessage(ReceivedMessage& received) {
    if (received.parsed) {
        return std::move(*received.parsed);
    }
    try {
        return parseJSON(received.text);
    } catch (const DecodingError&) {
        return Value();
    }
}

// A reply that cannot be written (text that is not UTF-8, say) goes out as
// the internal error it is, under the same id.
SentMessage replyMessage(const Response<AnyMethod>& response) {
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
    return SentMessage::reply(std::move(text), response.id);
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
    Value message = readMessage(received);
    auto classification = classifyMessage(message);
    // A request the server refuses is answered under its own id, and an
    // invalid message under the id it carries when that one is readable. A
    // notification is never answered, not even when refused.
    const bool isAnswered = classification.kind != MessageKind::notification;
    auto failureID = classification.answeredUnder();
    std::exception_ptr failure;
    try {
        if (classification.kind == MessageKind::request) {
            co_await answerRequest(takeClassifiedRequest(message, std::move(*classification.id)));
        } else {
            co_await routeMessage(message, classification.kind);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        co_await refuseMessage(failure, isAnswered, std::move(failureID));
    }
}

asio::awaitable<void> Server::answerRequest(Request<AnyMethod> request) {
    ID id = request.id;
    auto route = routeRequest(request, false);
    auto* response = std::get_if<Response<AnyMethod>>(&route);
    std::optional<Response<AnyMethod>> handled;
    if (response == nullptr) {
        // Awaited here rather than through dispatchRequest and capture: a
        // frame less each.
        std::exception_ptr handlerFailure;
        try {
            handled = co_await std::get<0>(route)->handle(std::move(request));
        } catch (...) {
            handlerFailure = std::current_exception();
        }
        if (handlerFailure) {
            handled = Response<AnyMethod>::failure(id, asMCPError(handlerFailure));
        }
        response = &*handled;
    }
    std::exception_ptr sendFailure;
    try {
        co_await sendOnStrand(replyMessage(*response));
        co_return;
    } catch (...) {
        sendFailure = std::current_exception();
    }
    // A reply that could not be sent is followed by its error reply under
    // the request's id; should that fail too, the dispatch reports it.
    co_await sendOnStrand(replyMessage(Response<AnyMethod>::failure(std::move(id), asMCPError(sendFailure))));
}

asio::awaitable<void> Server::routeMessage(Value& message, MessageKind kind) {
    switch (kind) {
        case MessageKind::notification:
            co_await dispatchNotification(takeClassifiedNotification(message));
            co_return;
        case MessageKind::batch:
            co_await dispatchBatch(message);
            co_return;
        case MessageKind::request:
        case MessageKind::response:
        case MessageKind::errorResponse:
        case MessageKind::invalid:
            break;
    }
    throw MCPError::parseError("Invalid message format");
}

asio::awaitable<void> Server::refuseMessage(std::exception_ptr failure, bool isAnswered, std::optional<ID> id) {
    if (isResourceTemporarilyUnavailable(failure)) {
        co_await async::capture(async::sleepFor(std::chrono::milliseconds(10)));
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
    if (isAnswered) {
        co_await answerFailure(failure, std::move(id));
    }
}

asio::awaitable<void> Server::answerFailure(std::exception_ptr failure, std::optional<ID> id) {
    // Under a fresh id the reply answers no request the sender could know.
    const bool answersRequest = id.has_value();
    auto response = Response<AnyMethod>::failure(id ? std::move(*id) : ID::random(), asMCPError(failure));
    try {
        // Built apart from the co_await: g++ 12 destroys a conditional's
        // temporary twice inside one.
        SentMessage reply(writeJSON(encodeValue(response)));
        if (answersRequest) {
            reply.answered = std::move(response.id);
        }
        co_await sendOnStrand(std::move(reply));
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
    auto handled = co_await async::capture(std::get<0>(route)->handle(std::move(request)));
    if (handled) {
        co_return std::move(handled).value();
    }
    co_return Response<AnyMethod>::failure(std::move(id), asMCPError(handled.failure()));
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
    std::vector<ID> answered;
    for (auto& item : batch.items) {
        if (auto* request = std::get_if<Request<AnyMethod>>(&item)) {
            ID id = request->id;
            // Kept out of the condition: g++ 12 miscompiles a co_await there.
            auto handled = co_await async::capture(dispatchRequest(std::move(*request), true));
            auto response = handled ? std::move(handled).value()
                                    : Response<AnyMethod>::failure(std::move(id), asMCPError(handled.failure()));
            // The reply's own id: a handler may answer under another.
            answered.push_back(response.id);
            responses.push_back(encodeResponse(std::move(response)));
        } else {
            co_await async::capture(dispatchNotification(std::move(std::get<Message<AnyNotification>>(item))));
        }
    }
    if (responses.empty()) {
        co_return;
    }
    co_await sendOnStrand(SentMessage::batchReply(writeJSON(Value(std::move(responses))), std::move(answered)));
}

}  // namespace lumenary::mcp
