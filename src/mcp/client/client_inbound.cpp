// The message loop and what it does with each message from the server.
#include <chrono>
#include <system_error>

#include <asio/co_spawn.hpp>
#include <asio/error.hpp>

#include "async/cancellation.hpp"
#include "async/sleep_for.hpp"
#include "mcp/client/client.hpp"
#include "mcp/client/client_conventions.hpp"
#include "mcp/core/classified_envelopes.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/message_classification.hpp"
#include "system/utf8.hpp"

namespace lumenary::mcp {

namespace {

template <typename T>
std::optional<T> tryDecode(const Value& message) {
    try {
        return decodeValue<T>(message);
    } catch (const DecodingError&) {
        return std::nullopt;
    }
}

// An answer to a batch: an array whose every element is a response.
std::optional<std::vector<Response<AnyMethod>>> batchResponseFrom(const Value& message) {
    std::vector<Response<AnyMethod>> responses;
    responses.reserve(message.arrayValue()->size());
    for (const auto& element : *message.arrayValue()) {
        const auto kind = classifyMessage(element).kind;
        if (kind != MessageKind::response && kind != MessageKind::errorResponse) {
            return std::nullopt;
        }
        auto response = tryDecode<Response<AnyMethod>>(element);
        if (!response) {
            return std::nullopt;
        }
        responses.push_back(std::move(*response));
    }
    return responses;
}

}  // namespace

asio::awaitable<void> Client::messageLoop(std::shared_ptr<Transport> transport, std::uint64_t generation) {
    const auto location = clientLocation("connect(transport:)");
    std::exception_ptr failure;
    for (;;) {
        failure = nullptr;
        auto stream = transport->receive();
        if (generation == generation_) {
            inboundStream_ = stream;
        }
        try {
            while (auto message = co_await stream.next()) {
                // Kept out of the condition: g++ 12 miscompiles a co_await there.
                const bool cancelled = co_await async::isCancelled();
                if (cancelled) {
                    break;
                }
                const bool isLastOfLostConnection =
                    messagesOfLostConnection_ > 0 && generation == generation_ && --messagesOfLostConnection_ == 0;
                co_await handleInbound(transport, std::move(*message));
                if (isLastOfLostConnection) {
                    failRequestsOfLostConnection();
                }
            }
        } catch (...) {
            failure = std::current_exception();
        }
        const bool cancelled = co_await async::isCancelled();
        if (cancelled || !isResourceTemporarilyUnavailable(failure)) {
            break;
        }
        // A non-blocking read that found nothing yet: ask again shortly.
        try {
            co_await async::sleepFor(std::chrono::milliseconds(10));
        } catch (...) {
        }
    }

    // disconnect() stopped the loop and has already settled every request.
    const bool stopped = co_await async::isCancelled();
    if (stopped && (!failure || async::isCancellationError(failure))) {
        if (auto logger = this->logger()) {
            logger->debug("Client message handling loop task is terminating.", {}, {}, location);
        }
        co_return;
    }
    if (failure) {
        if (auto logger = this->logger()) {
            logger->error(
                "Error in message handling loop",
                [&] {
                    return logging::Metadata{{"error", localizedDescription(failure)}};
                },
                {}, location);
        }
    }
    if (auto logger = this->logger()) {
        logger->debug("Client message handling loop task is terminating.", {}, {}, location);
    }
    // The end of the stream is the end of the connection: the peer has gone.
    endConnection(generation, failure ? failure : std::make_exception_ptr(MCPError::connectionClosed()));
}

void Client::handleConnectionReplaced(std::uint64_t generation) {
    if (generation != generation_ || !connection_) {
        return;
    }
    // Nothing else arrives over the lost connection, so what is unread now
    // is all it still has to say.
    const auto unread = inboundStream_ ? inboundStream_->size() : 0;
    if (unread == 0) {
        failRequestsOfLostConnection();
    } else {
        messagesOfLostConnection_ = unread;
    }
}

void Client::failRequestsOfLostConnection() {
    messagesOfLostConnection_ = 0;
    const auto closed = std::make_exception_ptr(MCPError::connectionClosed());
    for (const auto& [id, request] : std::exchange(pendingRequests_, {})) {
        request.fail(closed);
    }
}

void Client::endConnection(std::uint64_t generation, std::exception_ptr reason) {
    // A loop of an earlier connection says nothing about the current one.
    if (generation != generation_ || !connection_) {
        return;
    }
    connectionEnd_ = reason;
    auto pending = std::exchange(pendingRequests_, {});
    for (const auto& [id, request] : pending) {
        request.fail(reason);
    }
}

asio::awaitable<void> Client::handleInbound(const std::shared_ptr<Transport>& transport, ReceivedMessage received) {
    std::optional<Value> message = std::move(received.parsed);
    if (!message) {
        try {
            message = parseJSON(received.text);
        } catch (const DecodingError&) {
        }
    }
    if (message) {
        auto classification = classifyMessage(*message);
        switch (classification.kind) {
            case MessageKind::batch:
                if (auto responses = batchResponseFrom(*message)) {
                    handleBatchResponse(*responses);
                    co_return;
                }
                break;
            case MessageKind::response:
            case MessageKind::errorResponse:
                if (auto response = tryDecode<Response<AnyMethod>>(*message)) {
                    handleResponse(*response);
                    co_return;
                }
                break;
            case MessageKind::request:
                startAnswering(transport, takeClassifiedRequest(*message, std::move(*classification.id)));
                co_return;
            case MessageKind::notification:
                co_await handleMessage(takeClassifiedNotification(*message));
                co_return;
            case MessageKind::invalid:
                break;
        }
    }
    const std::string& text = received.text;
    if (auto logger = this->logger()) {
        logger->warning(
            "Unexpected message received by client (not single/batch response or notification)",
            [&] {
                return system::isValidUTF8(text) ? std::optional<logging::Metadata>(logging::Metadata{{"message", text}})
                                         : std::nullopt;
            },
            {}, clientLocation("connect(transport:)"));
    }
}

void Client::handleResponse(const Response<AnyMethod>& response) {
    const auto location = clientLocation("handleResponse(_:)");
    const auto logger = this->logger();
    const auto idMetadata = [&] { return logging::Metadata{{"id", response.id.description()}}; };
    if (logger) {
        logger->trace("Processing response", idMetadata, {}, location);
    }
    auto entry = pendingRequests_.extract(response.id);
    if (entry.empty()) {
        if (logger) {
            logger->warning("Attempted to handle response for already removed request", idMetadata, {}, location);
        }
        return;
    }
    if (const auto* error = response.error()) {
        entry.mapped().fail(std::make_exception_ptr(*error));
    } else {
        entry.mapped().resume(*response.value());
    }
}

void Client::handleBatchResponse(const std::vector<Response<AnyMethod>>& responses) {
    const auto location = clientLocation("handleBatchResponse(_:)");
    const auto logger = this->logger();
    if (logger) {
        logger->trace(
            "Processing batch response",
            [&] {
                return logging::Metadata{{"count", std::to_string(responses.size())}};
            },
            {}, location);
    }
    for (const auto& response : responses) {
        auto entry = pendingRequests_.extract(response.id);
        if (entry.empty()) {
            if (logger) {
                logger->warning(
                    "Received response in batch for unknown or already handled request ID",
                    [&] {
                        return logging::Metadata{{"id", response.id.description()}};
                    },
                    {}, location);
            }
            continue;
        }
        if (const auto* error = response.error()) {
            entry.mapped().fail(std::make_exception_ptr(*error));
        } else {
            entry.mapped().resume(*response.value());
        }
    }
}

asio::awaitable<void> Client::handleMessage(Message<AnyNotification> message) {
    const auto location = clientLocation("handleMessage(_:)");
    if (auto logger = this->logger()) {
        logger->trace(
            "Processing notification",
            [&] {
                return logging::Metadata{{"method", message.method}};
            },
            {}, location);
    }
    // A copy: a handler may register another one for the same name.
    std::vector<std::shared_ptr<NotificationHandlerBox>> handlers;
    if (auto found = notificationHandlers_.find(message.method); found != notificationHandlers_.end()) {
        handlers = found->second;
    }
    for (const auto& handler : handlers) {
        std::exception_ptr failure;
        try {
            co_await handler->handle(message);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!failure) {
            continue;
        }
        if (auto logger = this->logger()) {
            logger->error(
                "Error handling notification",
                [&] {
                    return logging::Metadata{{"method", message.method}, {"error", localizedDescription(failure)}};
                },
                {}, location);
        }
    }
}

void Client::startAnswering(std::shared_ptr<Transport> transport, Request<AnyMethod> request) {
    // Answered apart from the loop: a sampling handler may take long, and
    // may itself wait for responses that only the loop can deliver.
    asio::co_spawn(strand_, answerRequest(shared_from_this(), std::move(transport), std::move(request)),
                   [](std::exception_ptr) {});
}

asio::awaitable<void> Client::answerRequest(std::shared_ptr<Client> self, std::shared_ptr<Transport> transport,
                                            Request<AnyMethod> request) {
    const auto location = clientLocation("answerRequest(_:)");
    const auto logger = transport->logger();
    logger.trace(
        "Processing request",
        [&] {
            return logging::Metadata{{"method", request.method}, {"id", request.id.description()}};
        },
        {}, location);
    auto response = co_await self->responseTo(std::move(request));
    std::exception_ptr failure;
    try {
        ID id = response.id;
        auto text = writeJSON(encodeResponse(std::move(response)), clientWireOptions);
        co_await transport->send(SentMessage::reply(std::move(text), std::move(id)));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        logger.error(
            "Error sending response",
            [&] {
                return logging::Metadata{{"error", localizedDescription(failure)}};
            },
            {}, location);
    }
}

asio::awaitable<Response<AnyMethod>> Client::responseTo(Request<AnyMethod> request) {
    if (request.method == Ping::name) {
        co_return Response<AnyMethod>::success(std::move(request.id), Value::Object{});
    }
    // A copy: a handler registered meanwhile replaces it, not this call's.
    SamplingHandler sampling;
    if (request.method == CreateSamplingMessage::name) {
        sampling = samplingHandler_;
    }
    if (!sampling) {
        co_return Response<AnyMethod>::failure(std::move(request.id),
                                               MCPError::methodNotFound("Unknown method: " + request.method));
    }

    std::optional<CreateSamplingMessage::Parameters> parameters;
    std::optional<MCPError> refusal;
    try {
        parameters = decodeValue<CreateSamplingMessage::Parameters>(request.params);
    } catch (const DecodingError& error) {
        refusal = MCPError::invalidParams(error.what());
    }
    if (refusal) {
        co_return Response<AnyMethod>::failure(std::move(request.id), std::move(*refusal));
    }
    std::exception_ptr failure;
    try {
        auto result = co_await sampling(std::move(*parameters));
        co_return Response<AnyMethod>::success(std::move(request.id), encodeValue(result));
    } catch (...) {
        failure = std::current_exception();
    }
    co_return Response<AnyMethod>::failure(std::move(request.id), asMCPError(failure));
}

}  // namespace lumenary::mcp
