#include "app/tools/messages/messages_tool_handler.hpp"
#include "app/tools/tool_input_schema.hpp"

namespace lumenary::app {

std::vector<MCPTool> MessagesToolHandler::tools() const {
    return {
        {.name = "send_message",
         .description = "Send a text message or iMessage.",
         .displayDescription = "发送短信或iMessage。",
         .inputSchema = objectSchema({{"phoneNumber", schemaProperty("string", "Recipient's phone number")},
                                      {"message", schemaProperty("string", "Message content")}},
                                     {"phoneNumber", "message"})},
        {.name = "read_messages",
         .description = "Read message history for a specific contact.",
         .displayDescription = "读取特定联系人的历史消息。",
         .inputSchema = objectSchema({{"phoneNumber", schemaProperty("string", "Contact's phone number")},
                                      {"limit", schemaProperty("integer", "Maximum number of messages (default: 10)")}},
                                     {"phoneNumber"})},
        {.name = "get_unread_messages",
         .description = "Fetch unread messages.",
         .displayDescription = "获取未读消息。",
         .inputSchema =
             objectSchema({{"limit", schemaProperty("integer", "Maximum number of messages (default: 10)")}}, {})},
    };
}

}  // namespace lumenary::app
