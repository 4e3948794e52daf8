#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <system_error>

#include "logging/logger.hpp"

// What the network transport's records and errors share.
namespace lumenary::mcp::network_transport {

// Every record names the component and the operation that wrote it; the
// source is then "MCP".
inline logging::Logger::Location location(std::string_view operation) {
    return logging::Logger::Location::fileID("MCP/NetworkTransport", operation);
}

// The text of a connection's error, as records and error details show it.
std::string errorText(const std::error_code& error);
std::string errorText(const std::exception_ptr& error);

// Whether a failed read or write means the connection is gone: the peer
// closed or reset it, or it was never connected. Compared by name, since the
// numbers differ between systems.
bool isBrokenConnectionError(const std::exception_ptr& error);

}  // namespace lumenary::mcp::network_transport
