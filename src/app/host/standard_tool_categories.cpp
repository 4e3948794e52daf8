#include "app/host/standard_tool_categories.hpp"

namespace lumenary::app {

ToolCategories standardToolCategories() {
    // No category is built for this platform yet: an empty slot lists
    // nothing, so every call is answered "Tool not found".
    return ToolCategories{};
}

}  // namespace lumenary::app
