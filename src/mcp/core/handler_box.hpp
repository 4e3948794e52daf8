#pragma once

#include <functional>
#include <memory>

#include <asio/awaitable.hpp>

#include "mcp/core/message.hpp"
#include "mcp/core/request.hpp"
#include "mcp/core/response.hpp"

namespace lumenary::mcp {

// A handler stored in a table keyed by method name: it speaks the untyped
// envelopes read off the wire and converts to and from its own types.
class RequestHandlerBox {
public:
    virtual ~RequestHandlerBox() = default;
    virtual asio::awaitable<Response<AnyMethod>> handle(Request<AnyMethod> request) = 0;
};

class NotificationHandlerBox {
public:
    virtual ~NotificationHandlerBox() = default;
    virtual asio::awaitable<void> handle(Message<AnyNotification> message) = 0;
};

// Conversions go through the JSON form, so a typed handler sees exactly what
// a peer reading the wire would: parameters that do not fit fail here, before
// the handler runs, with the envelope's decoding error.
template <Method M>
class TypedRequestHandler final : public RequestHandlerBox {
public:
    using Handler = std::function<asio::awaitable<Response<M>>(Request<M>)>;

    explicit TypedRequestHandler(Handler handler) : handler_(std::move(handler)) {}

    asio::awaitable<Response<AnyMethod>> handle(Request<AnyMethod> request) override {
        // The request's own JSON form, with its parameters moved in rather
        // than copied.
        Value::Object envelope;
        envelope.emplace("jsonrpc", std::string(envelope::jsonrpcVersion));
        envelope.emplace("id", encodeValue(request.id));
        envelope.emplace("method", std::move(request.method));
        envelope.emplace("params", std::move(request.params));
        auto typed = decodeValue<Request<M>>(Value(std::move(envelope)));
        Response<M> response = co_await handler_(std::move(typed));
        if (const auto* error = response.error()) {
            co_return Response<AnyMethod>::failure(std::move(response.id), *error);
        }
        co_return Response<AnyMethod>::success(std::move(response.id), encodeValue(*response.value()));
    }

private:
    Handler handler_;
};

template <Notification N>
class TypedNotificationHandler final : public NotificationHandlerBox {
public:
    using Handler = std::function<asio::awaitable<void>(Message<N>)>;

    explicit TypedNotificationHandler(Handler handler) : handler_(std::move(handler)) {}

    asio::awaitable<void> handle(Message<AnyNotification> message) override {
        co_await handler_(decodeValue<Message<N>>(encodeValue(message)));
    }

private:
    Handler handler_;
};

}  // namespace lumenary::mcp
