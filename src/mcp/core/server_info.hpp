#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "mcp/core/decoder.hpp"

namespace lumenary::mcp {

// The server's identity as announced to the client in the initialize result.
struct ServerInfo {
    std::string name;
    std::string version;

    std::size_t hash() const noexcept;

    friend bool operator==(const ServerInfo&, const ServerInfo&) = default;
};

// Both keys are always written and both are required when read.
template <>
struct Coder<ServerInfo> {
    static Value encode(const ServerInfo& info);
    static ServerInfo decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::ServerInfo> {
    std::size_t operator()(const lumenary::mcp::ServerInfo& info) const noexcept { return info.hash(); }
};
