#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "mcp/core/decoder.hpp"

namespace lumenary::mcp {

// What the connecting client calls itself, as announced in "initialize".
struct ClientInfo {
    std::string name;
    std::string version;

    std::size_t hash() const noexcept;

    friend bool operator==(const ClientInfo&, const ClientInfo&) = default;
};

// Both keys are always written and both are required when read.
template <>
struct Coder<ClientInfo> {
    static Value encode(const ClientInfo& info);
    static ClientInfo decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::ClientInfo> {
    std::size_t operator()(const lumenary::mcp::ClientInfo& info) const noexcept { return info.hash(); }
};
