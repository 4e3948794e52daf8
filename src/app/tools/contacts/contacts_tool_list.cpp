#include "app/tools/contacts/contacts_tool_handler.hpp"
#include "app/tools/tool_input_schema.hpp"

namespace lumenary::app {

std::vector<MCPTool> ContactsToolHandler::tools() const {
    return {
        {.name = "get_all_contacts",
         .description = "Get all contacts and their phone numbers.",
         .displayDescription = "获取所有联系人及其电话号码。",
         .inputSchema = objectSchema(
             {{"limit", schemaProperty("integer", "Maximum number of contacts to return (default: 1000)")}}, {})},
        {.name = "find_phone_number",
         .description = "Find a contact's phone number by name.",
         .displayDescription = "通过姓名查找联系人的电话号码。",
         .inputSchema =
             objectSchema({{"name", schemaProperty("string", "The name of the contact to find")}}, {"name"})},
    };
}

}  // namespace lumenary::app
