#include "app/tools/tool_category.hpp"

#include "app/tools/tool_error.hpp"

namespace lumenary::app {

asio::awaitable<std::string> EmptyToolCategory::handle(std::string name, PlainDictionary) {
    throw ToolError("LocalTool", 404, "Tool not found: " + name);
    co_return std::string();
}

}  // namespace lumenary::app
