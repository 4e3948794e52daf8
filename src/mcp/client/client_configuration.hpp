#pragma once

#include <cstddef>
#include <functional>

#include "mcp/core/decoder.hpp"

namespace lumenary::mcp {

// How strictly a client holds the server to what it announced.
struct ClientConfiguration {
    // When true, the typed requests first check that the server announced
    // the capability they need, and fail without sending when it did not.
    bool strict = false;

    static constexpr ClientConfiguration defaultConfiguration() noexcept { return {.strict = false}; }
    static constexpr ClientConfiguration strictConfiguration() noexcept { return {.strict = true}; }

    std::size_t hash() const noexcept;

    friend constexpr bool operator==(const ClientConfiguration&, const ClientConfiguration&) = default;
};

// "strict" is always written and required when read; there is no default.
template <>
struct Coder<ClientConfiguration> {
    static Value encode(const ClientConfiguration& configuration);
    static ClientConfiguration decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::ClientConfiguration> {
    std::size_t operator()(const lumenary::mcp::ClientConfiguration& configuration) const noexcept {
        return configuration.hash();
    }
};
