#pragma once

#include <optional>
#include <variant>

#include "mcp/core/envelope_coding.hpp"
#include "mcp/core/id.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/mcp_error.hpp"

namespace lumenary::mcp {

// A JSON-RPC response: a result of M, or an error.
template <Method M>
struct Response {
    using Result = typename M::Result;

    ID id;
    std::variant<Result, MCPError> result;

    static Response success(ID responseID, Result value) { return Response{std::move(responseID), std::move(value)}; }
    static Response failure(ID responseID, MCPError error) { return Response{std::move(responseID), std::move(error)}; }

    bool isSuccess() const noexcept { return result.index() == 0; }
    const Result* value() const noexcept { return std::get_if<0>(&result); }
    const MCPError* error() const noexcept { return std::get_if<1>(&result); }

    friend bool operator==(const Response&, const Response&) = default;
};

// The JSON form of an untyped response, taking its result rather than
// copying it.
inline Value encodeResponse(Response<AnyMethod>&& response) {
    Value::Object object;
    object.emplace("jsonrpc", std::string(envelope::jsonrpcVersion));
    object.emplace("id", encodeValue(response.id));
    if (auto* value = std::get_if<0>(&response.result)) {
        object.emplace("result", std::move(*value));
    } else {
        object.emplace("error", encodeValue(std::get<1>(response.result)));
    }
    return object;
}

// The JSON text of an untyped response, exactly as writing encodeResponse's
// value would give it (keys in the writer's order), without building that
// value first. Throws EncodingError as the writer does; `out` is then left
// with part of the text.
void appendResponseJSON(std::string& out, const Response<AnyMethod>& response, JSONWriteOptions options = {});

template <Method M>
struct Coder<Response<M>> {
    static Value encode(const Response<M>& response) {
        ObjectEncoder object;
        object.set("jsonrpc", std::string(envelope::jsonrpcVersion)).set("id", response.id);
        if (const auto* value = response.value()) {
            object.set("result", *value);
        } else {
            object.set("error", *response.error());
        }
        return object.finish();
    }

    // A usable "result" wins over "error"; with neither the text is no response.
    static Response<M> decode(const Decoder& decoder) {
        envelope::requireVersion(decoder);
        auto id = decoder.decode<ID>("id");
        std::optional<typename M::Result> result;
        try {
            result = decoder.decode<typename M::Result>("result");
        } catch (const DecodingError&) {
        }
        if (result) {
            return Response<M>::success(std::move(id), std::move(*result));
        }
        std::optional<MCPError> error;
        try {
            error = decoder.decode<MCPError>("error");
        } catch (const DecodingError&) {
        }
        if (error) {
            return Response<M>::failure(std::move(id), std::move(*error));
        }
        decoder.failDataCorrupted("Invalid response");
    }
};

}  // namespace lumenary::mcp
