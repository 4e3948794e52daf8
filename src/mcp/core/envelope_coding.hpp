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

}  // namespace lumenary::mcp::envelope
