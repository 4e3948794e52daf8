#include "app/tools/desktop/macos_control_tool_handler.hpp"
#include "app/tools/tool_input_schema.hpp"

namespace lumenary::app {

std::vector<MCPTool> MacOSControlToolHandler::tools() const {
    return {
        {.name = "macos_check_permission",
         .description = "Check if the application has accessibility permissions. Perform this check before other "
                        "macOS control operations.",
         .displayDescription = "检查应用是否具有辅助功能权限。在执行其他 macOS 控制操作前执行此检查。",
         .inputSchema = objectSchema({}, {})},
        {.name = "macos_list_apps",
         .description = "List currently running GUI applications.",
         .displayDescription = "列出当前运行的图形界面应用程序。",
         .inputSchema = objectSchema({}, {})},
        {.name = "macos_get_ui_tree",
         .description = "Get the accessibility UI element tree of a specific application.",
         .displayDescription = "获取特定应用程序的辅助功能 UI 元素树。",
         .inputSchema = objectSchema({{"pid", schemaProperty("integer", "Process ID of the application")}}, {"pid"})},
        {.name = "macos_click_element",
         .description = "Click at a specific screen coordinate (x, y).",
         .displayDescription = "点击特定的屏幕坐标 (x, y)。",
         .inputSchema = objectSchema(
             {{"x", schemaProperty("number", "X coordinate")}, {"y", schemaProperty("number", "Y coordinate")}},
             {"x", "y"})},
        {.name = "macos_type_text",
         .description = "Type text at the current keyboard focus.",
         .displayDescription = "在当前键盘焦点处输入文本。",
         .inputSchema = objectSchema({{"text", schemaProperty("string", "Text to type")}}, {"text"})},
    };
}

}  // namespace lumenary::app
