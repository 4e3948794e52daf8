#pragma once

#include <string>

#include "mcp/core/coders.hpp"
#include "mcp/core/method.hpp"

// Pieces shared by the readers of the three JSON-RPC envelopes.
namespace lumenary::mcp::envelope {

inline constexpr std::string_view jsonrpcVersion = "2.0";

inline void requireVersion(const Decoder& envelope) {
    if (envelope.decode<std::string>("jsonrpc") != jsonrpcVersion) {
        envelope.member("jsonrpc").failDataCorrupted("Invalid JSON-RPC version");
    }
}

// Parameter types with a default take it for an absent or null "params";
// for the others a decoding failure is reported as the envelope's own.
template <typename Parameters>
Parameters decodeParameters(const Decoder& envelope) {
    if constexpr (isNotRequired<Parameters>) {
        if (auto parameters = envelope.decodeIfPresent<Parameters>("params")) {
            return std::move(*parameters);
        }
        return NotRequired<Parameters>::make();
    } else {
        const bool present = envelope.contains("params") && !envelope.member("params").isNull();
        try {
            return envelope.decode<Parameters>("params");
        } catch (const DecodingError&) {
            envelope.failDataCorrupted(present ? "Invalid params field" : "Missing required params field");
        }
    }
}

// The same rules for a "params" value already taken out of its envelope
// (null when it was absent), with the same errors and coding paths.
template <typename Parameters>
Parameters decodeTakenParameters(const Value& parameters) {
    static const Value noMembers;
    const Decoder envelope(noMembers);
    if constexpr (isNotRequired<Parameters>) {
        if (parameters.isNull()) {
            return NotRequired<Parameters>::make();
        }
        return Coder<Parameters>::decode(envelope.nested(parameters, "params"));
    } else {
        try {
            return Coder<Parameters>::decode(envelope.nested(parameters, "params"));
        } catch (const DecodingError&) {
            envelope.failDataCorrupted(parameters.isNull() ? "Missing required params field" : "Invalid params field");
        }
    }
}

}  // namespace lumenary::mcp::envelope
