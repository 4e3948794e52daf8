#pragma once

#include <string>

#include "mcp/core/envelope_coding.hpp"
#include "mcp/core/id.hpp"

namespace lumenary::mcp {

// A JSON-RPC request for the method described by M.
template <Method M>
struct Request {
    using Parameters = typename M::Parameters;

    ID id;
    std::string method;
    Parameters params;

    Request(ID requestID, Parameters parameters)
        : id(std::move(requestID)), method(M::name), params(std::move(parameters)) {}
    Request(ID requestID, std::string methodName, Parameters parameters)
        : id(std::move(requestID)), method(std::move(methodName)), params(std::move(parameters)) {}

    friend bool operator==(const Request&, const Request&) = default;
};

template <Method M>
struct Coder<Request<M>> {
    static Value encode(const Request<M>& request) {
        return ObjectEncoder()
            .set("jsonrpc", std::string(envelope::jsonrpcVersion))
            .set("id", request.id)
            .set("method", request.method)
            .set("params", request.params)
            .finish();
    }

    // The method text is taken as it stands; it is not checked against M.
    static Request<M> decode(const Decoder& decoder) {
        envelope::requireVersion(decoder);
        auto id = decoder.decode<ID>("id");
        auto method = decoder.decode<std::string>("method");
        return Request<M>(std::move(id), std::move(method),
                          envelope::decodeParameters<typename M::Parameters>(decoder));
    }
};

// The same request with untyped parameters.
template <Method M>
Request<AnyMethod> toAnyRequest(const Request<M>& request) {
    return decodeValue<Request<AnyMethod>>(encodeValue(request));
}

}  // namespace lumenary::mcp
