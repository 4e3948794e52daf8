#include "app/tools/desktop/desktop_json.hpp"

#include "mcp/core/json.hpp"

namespace lumenary::app {

namespace {

constexpr mcp::JSONWriteOptions prettyPrinted{.prettyPrinted = true};

mcp::Value elementValue(const MacOSControlService::UIElement& element) {
    mcp::Value::Object object{
        {"role", element.role},
        {"title", element.title},
        {"description", element.description},
        {"value", element.value},
        {"subrole", element.subrole},
        {"identifier", element.identifier},
        {"frame", element.frame},
    };
    if (element.children) {
        mcp::Value::Array children;
        children.reserve(element.children->size());
        for (const auto& child : *element.children) {
            children.push_back(elementValue(child));
        }
        object.emplace("children", std::move(children));
    }
    return object;
}

}  // namespace

std::string appsJSON(const std::vector<MacOSControlService::AppInfo>& apps) {
    mcp::Value::Array array;
    array.reserve(apps.size());
    for (const auto& app : apps) {
        array.push_back(mcp::Value::Object{{"name", app.name},
                                           {"bundleIdentifier", app.bundleIdentifier},
                                           {"processIdentifier", std::int64_t{app.processIdentifier}}});
    }
    return mcp::writeJSON(mcp::Value(std::move(array)), prettyPrinted);
}

std::string elementJSON(const MacOSControlService::UIElement& element) {
    return mcp::writeJSON(elementValue(element), prettyPrinted);
}

}  // namespace lumenary::app
