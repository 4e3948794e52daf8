#pragma once

#include <cstddef>
#include <functional>
#include <optional>

#include "mcp/core/decoder.hpp"

namespace lumenary::mcp {

// The optional protocol features a server announces. An absent group differs
// from a present group whose flags are all absent ({"tools":{}} announces
// tools), and every flag is tri-state: absent, false or true. Every member
// starts absent so a value names only what it announces:
// ServerCapabilities{.tools = ServerCapabilities::Tools{.listChanged = true}}.
struct ServerCapabilities {
    struct Logging {
        friend bool operator==(const Logging&, const Logging&) = default;
    };
    struct Prompts {
        std::optional<bool> listChanged = std::nullopt;
        friend bool operator==(const Prompts&, const Prompts&) = default;
    };
    struct Resources {
        std::optional<bool> subscribe = std::nullopt;
        std::optional<bool> listChanged = std::nullopt;
        friend bool operator==(const Resources&, const Resources&) = default;
    };
    struct Sampling {
        friend bool operator==(const Sampling&, const Sampling&) = default;
    };
    struct Tools {
        std::optional<bool> listChanged = std::nullopt;
        friend bool operator==(const Tools&, const Tools&) = default;
    };

    std::optional<Logging> logging = std::nullopt;
    std::optional<Prompts> prompts = std::nullopt;
    std::optional<Resources> resources = std::nullopt;
    std::optional<Sampling> sampling = std::nullopt;
    std::optional<Tools> tools = std::nullopt;

    std::size_t hash() const noexcept;

    friend bool operator==(const ServerCapabilities&, const ServerCapabilities&) = default;
};

// Groups without fields write {} and, when read, accept any JSON value: a
// peer that announces "logging": true still announces logging.
template <>
struct Coder<ServerCapabilities::Logging> {
    static Value encode(const ServerCapabilities::Logging&) { return Value::Object(); }
    static ServerCapabilities::Logging decode(const Decoder&) { return {}; }
};

template <>
struct Coder<ServerCapabilities::Sampling> {
    static Value encode(const ServerCapabilities::Sampling&) { return Value::Object(); }
    static ServerCapabilities::Sampling decode(const Decoder&) { return {}; }
};

// Groups with flags must be objects; a flag that is not a boolean fails.
template <>
struct Coder<ServerCapabilities::Prompts> {
    static Value encode(const ServerCapabilities::Prompts& prompts);
    static ServerCapabilities::Prompts decode(const Decoder& decoder);
};

template <>
struct Coder<ServerCapabilities::Resources> {
    static Value encode(const ServerCapabilities::Resources& resources);
    static ServerCapabilities::Resources decode(const Decoder& decoder);
};

template <>
struct Coder<ServerCapabilities::Tools> {
    static Value encode(const ServerCapabilities::Tools& tools);
    static ServerCapabilities::Tools decode(const Decoder& decoder);
};

template <>
struct Coder<ServerCapabilities> {
    static Value encode(const ServerCapabilities& capabilities);
    static ServerCapabilities decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::ServerCapabilities> {
    std::size_t operator()(const lumenary::mcp::ServerCapabilities& capabilities) const noexcept {
        return capabilities.hash();
    }
};
