#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/tools/tool_category.hpp"
#include "platform/messages/message_database.hpp"
#include "platform/messages/message_sender.hpp"

namespace lumenary::app {

// The messages category: send_message (through the message sender),
// read_messages and get_unread_messages (from the messages database). The
// database and the sender are used on the worker pool only. Failures come
// back in the domain "MessagesTool": 400 for an argument that is missing or
// cannot be used, 404 for a name not its own, 500 for a send or query that
// failed.
class MessagesToolHandler final : public ToolCategory {
public:
    MessagesToolHandler(std::shared_ptr<const platform::MessageDatabase> database,
                        std::shared_ptr<platform::MessageSender> sender);

    std::vector<MCPTool> tools() const override;
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;

private:
    asio::awaitable<ToolOutcome<std::string>> sendMessage(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> readMessages(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> getUnreadMessages(const PlainDictionary& arguments);

    std::shared_ptr<const platform::MessageDatabase> database_;
    std::shared_ptr<platform::MessageSender> sender_;
};

}  // namespace lumenary::app
