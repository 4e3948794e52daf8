#pragma once

#include <functional>
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/tools/tool_category.hpp"
#include "app/tools/tool_error.hpp"

namespace lumenary::app::testing {

// A category with fixed tool names whose tools answer "<name> ran", or fail:
// with a returned ToolError when the name is listed in `failing`, a thrown
// one when it is in `throwing`, and a thrown std::runtime_error when it is in
// `throwingOther`. It counts how often its list is
// built and what it was asked to run.
class FakeToolCategory final : public ToolCategory {
public:
    explicit FakeToolCategory(std::vector<std::string> names, std::vector<std::string> failing = {},
                              std::vector<std::string> throwing = {}, std::vector<std::string> throwingOther = {})
        : names_(std::move(names)),
          failing_(std::move(failing)),
          throwing_(std::move(throwing)),
          throwingOther_(std::move(throwingOther)) {}

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

    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override {
        handled.push_back(name);
        lastArguments = std::move(arguments);
        const auto listed = [&name](const std::vector<std::string>& names) {
            return std::find(names.begin(), names.end(), name) != names.end();
        };
        if (listed(failing_)) {
            co_return ToolError("FakeTool", 500, "the fake tool failed");
        }
        if (listed(throwing_)) {
            throw ToolError("FakeTool", 501, "the fake tool threw");
        }
        if (listed(throwingOther_)) {
            throw std::runtime_error("the fake tool broke");
        }
        co_return name + " ran";
    }

    mutable int listBuilds = 0;
    std::vector<std::string> handled;
    PlainDictionary lastArguments;

private:
    std::vector<std::string> names_;
    std::vector<std::string> failing_;
    std::vector<std::string> throwing_;
    std::vector<std::string> throwingOther_;
};

}  // namespace lumenary::app::testing
