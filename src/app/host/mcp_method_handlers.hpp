#pragma once

#include "app/tools/local_tool_service.hpp"
#include "app/tools/plain_value.hpp"
#include "mcp/core/value.hpp"
#include "mcp/server/server.hpp"

namespace lumenary::app {

// Registers the six methods every server of the program answers, the stdio
// server and each HTTP session's alike: "tools/list" and "tools/call" go to
// `tools` (which must be owned by a shared_ptr; the handlers keep it alive),
// and the resource and prompt methods answer with fixed empty results. A
// failing tool never becomes a JSON-RPC error: its failure is a tool result
// with the error flag and the text "Error: " plus its description.
void installMethodHandlers(mcp::Server& server, LocalToolService& tools);

// A tool's input schema as JSON: byte buffers and null markers become null.
mcp::Value schemaJSON(const PlainValue& schema);

// A call argument as the tools read it: a whole double within the 64-bit
// range becomes an integer, so 10.0 reaches a tool as 10.
PlainValue callArgumentFromJSON(const mcp::Value& json);

}  // namespace lumenary::app
