#include "app/tools/tool_category.hpp"

#include "app/tools/tool_error.hpp"

namespace lumenary::app {

asio::awaitable<ToolOutcome<std::string>> EmptyToolCategory::handle(std::string name, PlainDictionary) {
    co_return ToolError("LocalTool", 404, "Tool not found: " + name);
}

}  // namespace lumenary::app
