#pragma once

#include <string_view>

#include "logging/logger.hpp"
#include "mcp/core/json.hpp"

// How the client writes what it sends and what it logs.
namespace lumenary::mcp {

// The client's messages write "/" as "\/", as its peers have always seen
// them; any JSON reader takes both forms.
inline constexpr JSONWriteOptions clientWireOptions{.escapeSlashes = true};

// Every record of the client names its component and the operation that
// wrote it; its source is then "MCP".
inline logging::Logger::Location clientLocation(std::string_view operation) {
    return logging::Logger::Location::fileID("MCP/Client", operation);
}

}  // namespace lumenary::mcp
