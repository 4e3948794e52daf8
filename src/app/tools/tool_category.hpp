#pragma once

#include <string>
#include <vector>

#include <asio/awaitable.hpp>

#include "app/tools/mcp_tool.hpp"
#include "app/tools/plain_value.hpp"
#include "app/tools/tool_outcome.hpp"

namespace lumenary::app {

// What a tool category offers the tool service. Both members are called on
// the main executor.
class ToolCategory {
public:
    virtual ~ToolCategory() = default;

    // The category's tools in its own fixed order, built anew on each call
    // and independent of switches and permissions. The names never change:
    // the service indexes them once.
    virtual std::vector<MCPTool> tools() const = 0;

    // Runs one of the category's own tools (the dispatcher never passes
    // another name) and returns its whole result, or the ToolError that
    // refused or failed it. A ToolError or anything else thrown instead is
    // caught by the service and answered the same way, at the cost of the
    // throw.
    virtual asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) = 0;
};

// The slot of a category whose tools this platform does not offer: it lists
// nothing, so nothing is ever dispatched to it.
class EmptyToolCategory final : public ToolCategory {
public:
    std::vector<MCPTool> tools() const override { return {}; }
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;
};

}  // namespace lumenary::app
