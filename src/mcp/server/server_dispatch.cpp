// The message loop and the dispatch of requests, notifications and batches.
#include <chrono>

#include "async/cancellation.hpp"
#include "async/sleep_for.hpp"
#include "mcp/core/coders.hpp"
#include "mcp/core/handshake.hpp"
#include "mcp/server/server.hpp"

namespace lumenary::mcp {

namespace {

constexpr std::string_view source = "MCP";

// The id of a message that fits no envelope, when it has a usable one.
std::optional<ID> recoverID(const Value& message) {
    const Value* id = message.find("id");
    if (id == nullptr) {
        return std::nullopt;
    }
    if (auto number = id->intValue()) {
        return ID(*number);
    }
    if (auto text = jsonText(*id)) {
        return ID(std::move(*text));
    }
    return std::nullopt;
}

template <typename T>
std::optional<T> tryDecode(const Value& message) {
    try {
        return decodeValue<T>(message);
    } catch (const DecodingError&) {
        return std::nullopt;
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
            co_await processMessage(message->text);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    // Only stop() makes the wait end quietly; a stream that fails with an
    // abort of its own is still a fatal failure.
    const bool stopped = co_await async::isCancelled();
    if (auto logger = this->logger()) {
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

asio::awaitable<void> Server::processMessage(const std::string& text) {
    std::optional<Value> message;
    try {
        message = parseJSON(text);
    } catch (const DecodingError&) {
    }

    std::exception_ptr failure;
    std::optional<ID> failureID;
    bool answerFailure = true;
    try {
        if (!message) {
            throw MCPError::parseError("Invalid message format");
        }
        if (message->arrayValue() != nullptr) {
            if (auto batch = tryDecode<Batch>(*message)) {
                co_await handleBatch(std::move(*batch));
                co_return;
            }
        } else if (auto request = tryDecode<Request<AnyMethod>>(*message)) {
            // A request the server refuses is answered under its own id.
            failureID = request->id;
            co_await handleRequest(std::move(*request), true);
            co_return;
        } else if (auto notification = tryDecode<Message<AnyNotification>>(*message)) {
            // A notification is never answered, not even when refused.
            answerFailure = false;
            co_await handleMessage(std::move(*notification));
            co_return;
        }
        failureID = recoverID(*message);
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
    if (auto logger = this->logger()) {
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

asio::awaitable<std::optional<Response<AnyMethod>>> Server::handleRequest(Request<AnyMethod> request,
                                                                          bool sendResponse) {
    if (request.method.empty() && !sendResponse) {
        co_return Response<AnyMethod>::failure(std::move(request.id),
                                               MCPError::invalidRequest("Invalid batch item format"));
    }
    if (auto logger = this->logger()) {
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

    auto box = methodHandler(request.method);
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

asio::awaitable<void> Server::handleMessage(Message<AnyNotification> message) {
    if (auto logger = this->logger()) {
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
    for (const auto& box : notificationHandlersFor(message.method)) {
        try {
            co_await box->handle(message);
        } catch (...) {
            const auto failure = std::current_exception();
            if (auto logger = this->logger()) {
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

asio::awaitable<void> Server::handleBatch(Batch batch) {
    if (auto logger = this->logger()) {
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
                auto response = co_await handleRequest(std::move(*request), false);
                if (response) {
                    responses.push_back(encodeValue(*response));
                }
            } catch (...) {
                responses.push_back(
                    encodeValue(Response<AnyMethod>::failure(std::move(id), asMCPError(std::current_exception()))));
            }
        } else {
            try {
                co_await handleMessage(std::move(std::get<Message<AnyNotification>>(item)));
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
