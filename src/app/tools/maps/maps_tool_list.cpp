#include "app/tools/maps/maps_tool_handler.hpp"
#include "app/tools/tool_input_schema.hpp"

namespace lumenary::app {

std::vector<MCPTool> MapsToolHandler::tools() const {
    return {
        {.name = "search_locations",
         .description = "Search for locations using a query.",
         .displayDescription = "搜索地点。",
         .inputSchema = objectSchema(
             {{"query", schemaProperty("string", "Search keyword")},
              {"limit", schemaProperty("integer", "Maximum number of results to return (default: 10)")}},
             {"query"})},
        {.name = "get_directions",
         .description = "Get directions between two locations.",
         .displayDescription = "获取两地之间的路线。",
         .inputSchema = objectSchema(
             {{"from", schemaProperty("string", "Start location")},
              {"to", schemaProperty("string", "Destination location")},
              {"transport", schemaProperty("string", "Transport mode (automobile, walking, transit)")}},
             {"from", "to"})},
        {.name = "open_map",
         .description = "Open a location in the Maps application.",
         .displayDescription = "在地图应用中打开位置。",
         .inputSchema = objectSchema({{"query", schemaProperty("string", "Location name or address")}}, {"query"})},
    };
}

}  // namespace lumenary::app
