#pragma once

#include <string>

#include "app/tools/plain_value.hpp"
#include "mcp/core/uuid.hpp"

namespace lumenary::app {

// The program's own description of one local tool. Categories build their
// lists anew on every request, so every descriptor draws a fresh `serverId`.
struct MCPTool {
    std::string serverId = mcp::randomUUID();
    std::string serverName = "Local";
    // Unique across the catalogue and matched exactly, letter case included.
    std::string name;
    // Sent to clients.
    std::string description;
    // Shown in the panel only.
    std::string displayDescription;
    // {"type": "object", "properties": {...}, "required": [...]}
    PlainDictionary inputSchema;
};

}  // namespace lumenary::app
