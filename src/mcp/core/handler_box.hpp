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

// The parameters are decoded straight from the untyped value by the rules
// and with the errors a reader of the whole envelope would meet, so a typed
// handler sees exactly what a peer reading the wire would: parameters that do
// not fit fail here, before the handler runs.
template <Method M>
class TypedRequestHandler final : public RequestHandlerBox {
public:
    using Handler = std::function<asio::awaitable<Response<M>>(Request<M>)>;

    explicit TypedRequestHandler(Handler handler) : handler_(std::move(handler)) {}

    asio::awaitable<Response<AnyMethod>> handle(Request<AnyMethod> request) override {
        auto parameters = envelope::decodeTakenParameters<typename M::Parameters>(request.params);
        Response<M> response =
            co_await handler_(Request<M>(std::move(request.id), std::move(request.method), std::move(parameters)));
        if (const auto* error = response.error()) {
            co_return Response<AnyMethod>::failure(std::move(response.id), *error);
        }
        co_return Response<AnyMethod>::success(std::move(response.id), encodeValue(*response.value()));
    }

private:
    Handler handler_;
};

// A handler that sees only the parameters and gives only the result; the
// reply goes out under the request's id. It saves the frame a wrapping
// TypedRequestHandler would add to every call.
template <Method M>
class TypedResultHandler final : public RequestHandlerBox {
public:
    using Handler = std::function<asio::awaitable<typename M::Result>(typename M::Parameters)>;

    explicit TypedResultHandler(Handler handler) : handler_(std::move(handler)) {}

    asio::awaitable<Response<AnyMethod>> handle(Request<AnyMethod> request) override {
        auto parameters = envelope::decodeTakenParameters<typename M::Parameters>(request.params);
        auto result = co_await handler_(std::move(parameters));
        co_return Response<AnyMethod>::success(std::move(request.id), encodeValue(result));
    }

private:
    Handler handler_;
};

// A handler that answers without waiting for anything: a plain function,
// called in the box's own frame.
template <Method M>
class ImmediateRequestHandler final : public RequestHandlerBox {
public:
    using Handler = std::function<typename M::Result(typename M::Parameters)>;

    explicit ImmediateRequestHandler(Handler handler) : handler_(std::move(handler)) {}

    asio::awaitable<Response<AnyMethod>> handle(Request<AnyMethod> request) override {
        auto result = handler_(envelope::decodeTakenParameters<typename M::Parameters>(request.params));
        co_return Response<AnyMethod>::success(std::move(request.id), encodeValue(result));
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
