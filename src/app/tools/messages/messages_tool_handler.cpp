#include "app/tools/messages/messages_tool_handler.hpp"

#include <algorithm>

#include "app/tools/messages/message_texts.hpp"
#include "app/tools/messages/phone_number.hpp"
#include "app/tools/tool_arguments.hpp"
#include "async/worker_pool.hpp"

namespace lumenary::app {

namespace {

constexpr std::int64_t defaultMessageLimit = 10;
constexpr std::int64_t largestLimit = 50;

// A negative limit would reach SQLite as "no limit at all".
std::int64_t messageLimit(const PlainDictionary& arguments) {
    return std::clamp(integerArgument(arguments, "limit").value_or(defaultMessageLimit), std::int64_t{0}, largestLimit);
}

ToolError messagesError(std::int64_t code, std::string description) {
    return ToolError("MessagesTool", code, std::move(description));
}

}  // namespace

MessagesToolHandler::MessagesToolHandler(std::shared_ptr<const platform::MessageDatabase> database,
                                         std::shared_ptr<platform::MessageSender> sender)
    : database_(std::move(database)), sender_(std::move(sender)) {}

asio::awaitable<ToolOutcome<std::string>> MessagesToolHandler::handle(std::string name, PlainDictionary arguments) {
    if (name == "send_message") {
        co_return co_await sendMessage(arguments);
    }
    if (name == "read_messages") {
        co_return co_await readMessages(arguments);
    }
    if (name == "get_unread_messages") {
        co_return co_await getUnreadMessages(arguments);
    }
    co_return messagesError(404, "Unknown messages tool: " + name);
}

asio::awaitable<ToolOutcome<std::string>> MessagesToolHandler::sendMessage(const PlainDictionary& arguments) {
    auto phoneNumber = textArgument(arguments, "phoneNumber");
    auto message = textArgument(arguments, "message");
    if (!phoneNumber || !message) {
        co_return messagesError(400, "Missing phoneNumber or message");
    }
    // Program arguments are C strings: a NUL would end the message early.
    if (message->find('\0') != std::string::npos) {
        co_return messagesError(400, "Invalid message: it holds a NUL character, which cannot be sent");
    }
    auto normalized = normalizePhoneNumber(*phoneNumber);
    if (normalized.empty()) {
        co_return messagesError(400, "Invalid phoneNumber: it holds no digits");
    }
    auto work = [sender = sender_, normalized, text = std::move(*message)] { return sender->send(normalized, text); };
    if (auto failure = co_await async::runBlocking(std::move(work))) {
        co_return messagesError(500, "Failed to send: " + failure->description);
    }
    co_return "✅ Message sent to " + normalized;
}

asio::awaitable<ToolOutcome<std::string>> MessagesToolHandler::readMessages(const PlainDictionary& arguments) {
    auto phoneNumber = textArgument(arguments, "phoneNumber");
    if (!phoneNumber) {
        co_return messagesError(400, "Missing phoneNumber");
    }
    auto work = [database = database_, handle = normalizePhoneNumber(*phoneNumber), limit = messageLimit(arguments)] {
        return database->conversation(handle, limit);
    };
    auto messages = co_await async::runBlocking(std::move(work));
    if (!messages) {
        co_return messagesError(500, messageDatabaseFailureText(messages.error(), database_->path()));
    }
    co_return messageRecordsJSON(messages.value());
}

asio::awaitable<ToolOutcome<std::string>> MessagesToolHandler::getUnreadMessages(const PlainDictionary& arguments) {
    auto work = [database = database_, limit = messageLimit(arguments)] { return database->unreadMessages(limit); };
    auto messages = co_await async::runBlocking(std::move(work));
    if (!messages) {
        co_return messagesError(500, messageDatabaseFailureText(messages.error(), database_->path()));
    }
    co_return messageRecordsJSON(messages.value());
}

}  // namespace lumenary::app
