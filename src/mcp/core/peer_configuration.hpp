#pragma once

#include <cstddef>
#include <functional>

#include "mcp/core/decoder.hpp"

namespace lumenary::mcp {

// How strictly one end holds the other to the handshake.
struct PeerConfiguration {
    // A server, when true, dispatches only "initialize", "ping" and
    // "notifications/initialized" until it has been initialized. A client,
    // when true, has each typed request first check that the server
    // announced the capability it needs, and fail without sending when it
    // did not.
    bool strict = false;

    static constexpr PeerConfiguration defaultConfiguration() noexcept { return {.strict = false}; }
    static constexpr PeerConfiguration strictConfiguration() noexcept { return {.strict = true}; }

    std::size_t hash() const noexcept;

    friend constexpr bool operator==(const PeerConfiguration&, const PeerConfiguration&) = default;
};

using ClientConfiguration = PeerConfiguration;
using ServerConfiguration = PeerConfiguration;

// "strict" is always written and required when read; there is no default.
template <>
struct Coder<PeerConfiguration> {
    static Value encode(const PeerConfiguration& configuration);
    static PeerConfiguration decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::PeerConfiguration> {
    std::size_t operator()(const lumenary::mcp::PeerConfiguration& configuration) const noexcept {
        return configuration.hash();
    }
};
