#pragma once

#include <cstddef>
#include <functional>

#include "mcp/core/decoder.hpp"

namespace lumenary::mcp {

// How the server treats messages that arrive before the handshake ends.
struct ServerConfiguration {
    // When true, only "initialize", "ping" and "notifications/initialized"
    // are dispatched until the server has been initialized.
    bool strict = false;

    static constexpr ServerConfiguration defaultConfiguration() noexcept { return {.strict = false}; }
    static constexpr ServerConfiguration strictConfiguration() noexcept { return {.strict = true}; }

    std::size_t hash() const noexcept;

    friend constexpr bool operator==(const ServerConfiguration&, const ServerConfiguration&) = default;
};

// "strict" is always written and required when read; there is no default.
template <>
struct Coder<ServerConfiguration> {
    static Value encode(const ServerConfiguration& configuration);
    static ServerConfiguration decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::ServerConfiguration> {
    std::size_t operator()(const lumenary::mcp::ServerConfiguration& configuration) const noexcept {
        return configuration.hash();
    }
};
