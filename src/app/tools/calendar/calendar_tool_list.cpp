#include "app/tools/calendar/calendar_tool_handler.hpp"
#include "app/tools/tool_input_schema.hpp"

namespace lumenary::app {

std::vector<MCPTool> CalendarToolHandler::tools() const {
    return {
        {.name = "get_events",
         .description = "Get calendar events within a specified date range.",
         .displayDescription = "获取指定日期范围内的日历事件。",
         .inputSchema =
             objectSchema({{"limit", schemaProperty("integer", "Maximum number of events to return (default: 10)")},
                           {"fromDate", schemaProperty("string", "Start date (ISO format, default: today)")},
                           {"toDate", schemaProperty("string", "End date (ISO format, default: 7 days from now)")}},
                          {})},
        {.name = "search_events",
         .description = "Search for calendar events matching keywords.",
         .displayDescription = "搜索匹配关键词的日历事件。",
         .inputSchema =
             objectSchema({{"searchText", schemaProperty("string", "The text to search for")},
                           {"limit", schemaProperty("integer", "Maximum number of events to return (default: 10)")},
                           {"fromDate", schemaProperty("string", "Start date (ISO format, default: today)")},
                           {"toDate", schemaProperty("string", "End date (ISO format, default: 30 days from now)")}},
                          {"searchText"})},
        {.name = "create_event",
         .description = "Create a new calendar event.",
         .displayDescription = "创建新的日历事件。",
         .inputSchema = objectSchema(
             {{"title", schemaProperty("string", "Event title")},
              {"startDate", schemaProperty("string", "Start time (ISO format, e.g., 2024-01-15T09:00:00Z)")},
              {"endDate", schemaProperty("string", "End time (ISO format, e.g., 2024-01-15T10:00:00Z)")},
              {"location", schemaProperty("string", "Location (optional)")},
              {"notes", schemaProperty("string", "Notes (optional)")},
              {"isAllDay", schemaProperty("boolean", "Whether it's an all-day event (default: false)")},
              {"calendarName", schemaProperty("string", "Calendar name (optional, defaults to primary calendar)")}},
             {"title", "startDate", "endDate"})},
        {.name = "open_event",
         .description = "Open a specific event in the Calendar app.",
         .displayDescription = "在日历应用中打开特定事件。",
         .inputSchema =
             objectSchema({{"eventId", schemaProperty("string", "The unique identifier of the event")}}, {"eventId"})},
    };
}

}  // namespace lumenary::app
