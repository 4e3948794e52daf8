#pragma once

#include <optional>
#include <string>

#include "mcp/core/client_capabilities.hpp"
#include "mcp/core/method.hpp"
#include "mcp/core/peer_info.hpp"
#include "mcp/core/server_capabilities.hpp"

namespace lumenary::mcp {

// The connection handshake: the client's "initialize" request and its
// "notifications/initialized" notification.
struct Initialize {
    static constexpr std::string_view name = "initialize";

    // Lenient about missing keys, strict about types: a missing or null key
    // takes its default, a present value of the wrong shape fails.
    struct Parameters {
        std::string protocolVersion;
        ClientCapabilities capabilities;
        ClientInfo clientInfo;

        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    struct Result {
        std::string protocolVersion;
        ServerCapabilities capabilities;
        ServerInfo serverInfo;
        std::optional<std::string> instructions;

        friend bool operator==(const Result&, const Result&) = default;
    };
};

struct InitializedNotification {
    static constexpr std::string_view name = "notifications/initialized";
    using Parameters = Empty;
};

// The liveness check; answered with {}.
struct Ping {
    static constexpr std::string_view name = "ping";
    using Parameters = Empty;
    using Result = Empty;
};

template <>
struct Coder<Initialize::Parameters> {
    static Value encode(const Initialize::Parameters& parameters);
    static Initialize::Parameters decode(const Decoder& decoder);
};

template <>
struct Coder<Initialize::Result> {
    static Value encode(const Initialize::Result& result);
    static Initialize::Result decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp
