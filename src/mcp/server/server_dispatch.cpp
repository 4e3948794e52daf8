// The message loop and the dispatch of requests, notifications and batches.
#include <chrono>

#include "async/cancellation.hpp"
#include "async/sleep_for.hpp"
#include "mcp/core/coders.hpp"
#include "mcp/core/handshake.hpp"
#include "mcp/core/message_classification.hpp"
#include "mcp/server/server.hpp"

namespace lumenary::mcp {

namespace {

constexpr std::string_view source = "MCP";

// What the classifier takes for a request, a notification or a batch reads
// as one; should the two ever part, the sender still gets its parse error.
template <typename T>
T decodeClassified(const Value& message) {
    try {
        return decodeValue<T>(message);
    } catch (const DecodingError&) {
        throw MCPError::parseError("Invalid message format");
    }
}

}  // namespace

asio::awaitable<void> Server::messageLoop(std::shared_ptr<Transport> transport) {
    auto stream = transport->receive();
    std::exception_ptr failure;
    try {
        while (auto message = co_await stream.next()) {
            // Kept out of the condition: g++ 12 miscompiles a co_await there.
            const bool cancelled = co_await async::isCancelled();
            if (cancelled) {
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
                source);
        }
        logger->debug("Server finished", {}, source);
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
            case MessageKind::request:
                co_await dispatchRequest(decodeClassified<Request<AnyMethod>>(*message), true);
                co_return;
            case MessageKind::notification:
                // A notification is never answered, not even when refused.
                answerFailure = false;
                co_await dispatchNotification(decodeClassified<Message<AnyNotification>>(*message));
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
            source);
    }
    if (answerFailure) {
        co_await this->answerFailure(failure, std::move(failureID));
    }
}

asio::awaitable<void> Server::answerFailure(std::exception_ptr failure, std::optional<ID> id) {
    auto response = Response<AnyMethod>::failure(id ? std::move(*id) : ID::random(), asMCPError(failure));
    try {
        co_await sendOnStrand(encodeValue(response));
    } catch (...) {
        // The peer may be gone; the loop goes on with the next message.
    }
}

void Server::requireInitialized() const {
    if (!isInitialized_) {
        throw MCPError::invalidRequest("Server is not initialized");
    }
}

asio::awaitable<std::optional<Response<AnyMethod>>> Server::dispatchRequest(Request<AnyMethod> request,
                                                                            bool sendResponse) {
    if (request.method.empty() && !sendResponse) {
        co_return Response<AnyMethod>::failure(std::move(request.id),
                                               MCPError::invalidRequest("Invalid batch item format"));
    }
    if (const auto& logger = this->logger()) {
        logger->trace(
            "Processing request",
            [&] {
                return logging::Metadata{{"method", request.method}, {"id", request.id.description()}};
            },
            source);
    }
    if (configuration_.strict && request.method != Initialize::name && request.method != Ping::name) {
        requireInitialized();
    }

    const auto found = methodHandlers_.find(request.method);
    const auto box = found == methodHandlers_.end() ? nullptr : found->second;
    if (!box) {
        auto response = Response<AnyMethod>::failure(std::move(request.id),
                                                     MCPError::methodNotFound("Unknown method: " + request.method));
        if (!sendResponse) {
            co_return response;
        }
        co_await sendOnStrand(encodeValue(response));
        co_return std::nullopt;
    }

    ID id = request.id;
    std::exception_ptr failure;
    try {
        auto response = co_await box->handle(std::move(request));
        if (!sendResponse) {
            co_return response;
        }
        co_await sendOnStrand(encodeResponse(std::move(response)));
        co_return std::nullopt;
    } catch (...) {
        failure = std::current_exception();
    }
    auto response = Response<AnyMethod>::failure(std::move(id), asMCPError(failure));
    if (!sendResponse) {
        co_return response;
    }
    co_await sendOnStrand(encodeValue(response));
    co_return std::nullopt;
}

asio::awaitable<void> Server::dispatchNotification(Message<AnyNotification> message) {
    if (const auto& logger = this->logger()) {
        logger->trace(
            "Processing notification",
            [&] {
                return logging::Metadata{{"method", message.method}};
            },
            source);
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
                    source);
            }
        }
    }
}

asio::awaitable<void> Server::dispatchBatch(const Value& message) {
    // One element that is neither a request nor a notification makes the
    // whole array unreadable; an array has no id, so its parse error goes
    // out under a fresh one.
    auto batch = decodeClassified<Batch>(message);
    if (const auto& logger = this->logger()) {
        logger->trace(
            "Processing batch request",
            [&] {
                return logging::Metadata{{"size", std::to_string(batch.items.size())}};
            },
            source);
    }
    if (batch.items.empty()) {
        co_await sendOnStrand(encodeValue(
            Response<AnyMethod>::failure(ID::random(), MCPError::invalidRequest("Batch array must not be empty"))));
        co_return;
    }

    Value::Array responses;
    for (auto& item : batch.items) {
        if (auto* request = std::get_if<Request<AnyMethod>>(&item)) {
            ID id = request->id;
            try {
                // Kept out of the condition: g++ 12 miscompiles a co_await there.
                auto response = co_await dispatchRequest(std::move(*request), false);
                if (response) {
                    responses.push_back(encodeValue(*response));
                }
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
    co_await sendOnStrand(Value(std::move(responses)));
}

}  // namespace lumenary::mcp
