#pragma once

#include <memory>

#include <asio/awaitable.hpp>

#include "app/tools/local_tool_service.hpp"
#include "app/tools/plain_value.hpp"
#include "mcp/server/mcp_server.hpp"

namespace lumenary::app {

// Runs the program's MCP servers. Every one of them, the stdio server and
// one per HTTP session, answers the same six methods through these handlers.
class MCPServerManager {
public:
    // Registers "tools/list", "tools/call", "resources/list",
    // "resources/read", "prompts/list" and "prompts/get" on `server`.
    static void setupHandlers(mcp::Server& server, std::shared_ptr<LocalToolService> tools);

    static asio::awaitable<mcp::ListTools::Result> listToolsHandler(std::shared_ptr<LocalToolService> tools,
                                                                    mcp::ListTools::Parameters parameters);
    // Never throws: a refused or failing tool gives a result with the
    // error flag and the text "Error: " plus the failure's description.
    static asio::awaitable<mcp::CallTool::Result> callToolHandler(std::shared_ptr<LocalToolService> tools,
                                                                  mcp::CallTool::Parameters parameters);
    static asio::awaitable<mcp::ListResources::Result> listResourcesHandler(mcp::ListResources::Parameters);
    static asio::awaitable<mcp::ReadResource::Result> readResourceHandler(mcp::ReadResource::Parameters);
    static asio::awaitable<mcp::ListPrompts::Result> listPromptsHandler(mcp::ListPrompts::Parameters);
    static asio::awaitable<mcp::GetPrompt::Result> getPromptHandler(mcp::GetPrompt::Parameters);

    // Schemas to JSON: byte buffers and null markers become null.
    static mcp::Value valueFromAny(const PlainValue& value);
    // Call arguments from JSON: a whole double within the 64-bit range
    // becomes an integer, so 10.0 reaches a tool as 10.
    static PlainValue anyFromValue(const mcp::Value& value);
};

}  // namespace lumenary::app
