#pragma once

#include <string>
#include <type_traits>

#include "mcp/core/envelope_coding.hpp"

namespace lumenary::mcp {

// A JSON-RPC notification for the descriptor N.
template <Notification N>
struct Message {
    using Parameters = typename N::Parameters;

    std::string method;
    Parameters params;

    Message() requires std::is_same_v<Parameters, Empty> : method(N::name) {}
    explicit Message(Parameters parameters) : method(N::name), params(std::move(parameters)) {}
    Message(std::string methodName, Parameters parameters)
        : method(std::move(methodName)), params(std::move(parameters)) {}

    friend bool operator==(const Message&, const Message&) = default;
};

template <Notification N>
struct Coder<Message<N>> {
    // A notification without parameters has no "params" key at all; untyped
    // ones always write it, null included.
    static Value encode(const Message<N>& message) {
        ObjectEncoder object;
        object.set("jsonrpc", std::string(envelope::jsonrpcVersion)).set("method", message.method);
        if constexpr (!std::is_same_v<typename N::Parameters, Empty>) {
            object.set("params", message.params);
        }
        return object.finish();
    }

    // Any "id" member is ignored.
    static Message<N> decode(const Decoder& decoder) {
        envelope::requireVersion(decoder);
        auto method = decoder.decode<std::string>("method");
        return Message<N>(std::move(method), envelope::decodeParameters<typename N::Parameters>(decoder));
    }
};

}  // namespace lumenary::mcp
