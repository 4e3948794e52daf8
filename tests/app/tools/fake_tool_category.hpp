#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/tools/tool_category.hpp"
#include "app/tools/tool_error.hpp"

namespace lumenary::app::testing {

// A category with fixed tool names whose tools answer "<name> ran", or throw
// when the name is listed in `failing`. It counts how often its list is
// built and what it was asked to run.
class FakeToolCategory final : public ToolCategory {
public:
    explicit FakeToolCategory(std::vector<std::string> names, std::vector<std::string> failing = {})
        : names_(std::move(names)), failing_(std::move(failing)) {}

    std::vector<MCPTool> tools() const override {
        ++listBuilds;
        std::vector<MCPTool> tools;
        for (const auto& name : names_) {
            tools.push_back(
                {.name = name,
                 .description = name + " does its work",
                 .displayDescription = "工具",
                 .inputSchema = {
                     {"type", "object"}, {"properties", mcp::Value::Object{}}, {"required", mcp::Value::Array{}}}});
        }
        return tools;
    }

    asio::awaitable<std::string> handle(std::string name, PlainDictionary arguments) override {
        handled.push_back(name);
        lastArguments = std::move(arguments);
        if (std::find(failing_.begin(), failing_.end(), name) != failing_.end()) {
            throw ToolError("FakeTool", 500, "the fake tool failed");
        }
        co_return name + " ran";
    }

    mutable int listBuilds = 0;
    std::vector<std::string> handled;
    PlainDictionary lastArguments;

private:
    std::vector<std::string> names_;
    std::vector<std::string> failing_;
};

}  // namespace lumenary::app::testing
