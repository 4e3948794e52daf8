#include "app/tools/reminders/reminders_tool_handler.hpp"
#include "app/tools/tool_input_schema.hpp"

namespace lumenary::app {

std::vector<MCPTool> RemindersToolHandler::tools() const {
    PlainValue status = schemaProperty("string", "Filter by status (default: incomplete)");
    (*status.objectValue())["enum"] = PlainList{"incomplete", "completed"};
    return {
        {.name = "reminders_add",
         .description = "Create a new reminder.",
         .displayDescription = "创建新提醒事项。",
         .inputSchema = objectSchema(
             {{"title", schemaProperty("string", "The title of the reminder")},
              {"notes", schemaProperty("string", "Optional notes for the reminder")},
              {"listName", schemaProperty("string", "The name of the list to add to")},
              {"dueDate", schemaProperty("string", "Due date in ISO 8601 format")},
              {"priority",
               schemaProperty("integer", "Priority (1-9, where 1 is highest, 5 is medium, 9 is lowest, 0 is none)")}},
             {"title"})},
        {.name = "reminders_fetch",
         .description = "Fetch a list of reminders.",
         .displayDescription = "获取提醒事项列表。",
         .inputSchema =
             objectSchema({{"listName", schemaProperty("string", "Filter by list name")},
                           {"status", status},
                           {"limit", schemaProperty("integer", "Maximum number of reminders to return (default: 50)")},
                           {"dueAfter", schemaProperty("string", "Filter by due date after this time (ISO 8601)")},
                           {"dueBefore", schemaProperty("string", "Filter by due date before this time (ISO 8601)")}},
                          {})},
        {.name = "reminders_find",
         .description = "Search for reminders matching a query.",
         .displayDescription = "搜索提醒事项。",
         .inputSchema = objectSchema({{"query", schemaProperty("string", "Search keyword")},
                                      {"limit", schemaProperty("integer", "Maximum number of results (default: 20)")}},
                                     {"query"})},
        {.name = "reminders_get_lists",
         .description = "Get names of all reminder lists.",
         .displayDescription = "获取所有提醒事项列表名称。",
         .inputSchema = objectSchema({}, {})},
        {.name = "reminders_open_app",
         .description = "Open the Reminders application.",
         .displayDescription = "打开提醒事项应用。",
         .inputSchema = objectSchema({}, {})},
    };
}

}  // namespace lumenary::app
