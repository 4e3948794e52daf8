#pragma once

// The server side of MCP: a server per connection, the transport over
// standard input and output, and the typed messages of the method families.
//
// Serving
#include "mcp/server/server.hpp"           // Server: handler registry, message loop, dispatch
#include "mcp/server/server_batch.hpp"     // ServerBatch: JSON-RPC batches
#include "mcp/server/stdio_transport.hpp"  // StdioTransport: one JSON text per line

// Method families
#include "mcp/server/tool.hpp"              // Tool, Tool::Annotations, Tool::Content
#include "mcp/server/tool_methods.hpp"      // ListTools, CallTool, ToolListChangedNotification
#include "mcp/server/prompt.hpp"            // Prompt, Prompt::Argument, Prompt::Message
#include "mcp/server/prompt_methods.hpp"    // ListPrompts, GetPrompt, PromptListChangedNotification
#include "mcp/server/resource.hpp"          // Resource, Resource::Content, Resource::Template
#include "mcp/server/resource_methods.hpp"  // ListResources, ReadResource, templates, subscribe, updates
