#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "mcp/core/decoder.hpp"

namespace lumenary::mcp {

// What one end of a connection calls itself in the handshake: the client in
// "initialize", the server in its result.
struct PeerInfo {
    std::string name;
    std::string version;

    std::size_t hash() const noexcept;

    friend bool operator==(const PeerInfo&, const PeerInfo&) = default;
};

using ClientInfo = PeerInfo;
using ServerInfo = PeerInfo;

// Both keys are always written and both are required when read.
template <>
struct Coder<PeerInfo> {
    static Value encode(const PeerInfo& info);
    static PeerInfo decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::PeerInfo> {
    std::size_t operator()(const lumenary::mcp::PeerInfo& info) const noexcept { return info.hash(); }
};
