#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "mcp/core/decoder.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// What a client announces it supports. The server keeps it and hands it to
// the host; it never looks inside the groups.
struct ClientCapabilities {
    struct Sampling {
        friend bool operator==(const Sampling&, const Sampling&) = default;
    };
    struct Roots {
        std::optional<bool> listChanged = std::nullopt;
        friend bool operator==(const Roots&, const Roots&) = default;
    };

    std::optional<Sampling> sampling = std::nullopt;
    // Clients announce experimental features as objects, so any JSON value is
    // kept; a text-only map would refuse real clients' "initialize".
    std::optional<std::map<std::string, Value>> experimental = std::nullopt;
    std::optional<Roots> roots = std::nullopt;

    std::size_t hash() const noexcept;

    friend bool operator==(const ClientCapabilities&, const ClientCapabilities&) = default;
};

// Any present, non-null "sampling" value announces sampling; it is not read.
template <>
struct Coder<ClientCapabilities::Sampling> {
    static Value encode(const ClientCapabilities::Sampling&) { return Value::Object(); }
    static ClientCapabilities::Sampling decode(const Decoder&) { return {}; }
};

template <>
struct Coder<ClientCapabilities::Roots> {
    static Value encode(const ClientCapabilities::Roots& roots);
    static ClientCapabilities::Roots decode(const Decoder& decoder);
};

template <>
struct Coder<ClientCapabilities> {
    static Value encode(const ClientCapabilities& capabilities);
    static ClientCapabilities decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::ClientCapabilities> {
    std::size_t operator()(const lumenary::mcp::ClientCapabilities& capabilities) const noexcept {
        return capabilities.hash();
    }
};
