#pragma once

#include <string>
#include <vector>

#include <asio/awaitable.hpp>

#include "app/tools/mcp_tool.hpp"
#include "app/tools/plain_value.hpp"

namespace lumenary::app {

// What a tool category offers the tool service. Both members are called on
// the main executor.
class ToolCategory {
public:
    virtual ~ToolCategory() = default;

    // The category's tools in its own fixed order, built anew on each call
    // and independent of switches and permissions.
    virtual std::vector<MCPTool> tools() const = 0;

    // Runs one of the category's own tools (the dispatcher never passes
    // another name) and returns its whole result, or throws a ToolError.
    virtual asio::awaitable<std::string> handle(std::string name, PlainDictionary arguments) = 0;
};

// The slot of a category whose tools this platform does not offer: it lists
// nothing, so nothing is ever dispatched to it.
class EmptyToolCategory final : public ToolCategory {
public:
    std::vector<MCPTool> tools() const override { return {}; }
    asio::awaitable<std::string> handle(std::string name, PlainDictionary arguments) override;
};

}  // namespace lumenary::app
