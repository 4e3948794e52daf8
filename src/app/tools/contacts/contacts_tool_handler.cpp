#include "app/tools/contacts/contacts_tool_handler.hpp"

#include "app/tools/tool_arguments.hpp"

namespace lumenary::app {

namespace {

constexpr std::int64_t defaultContactLimit = 1000;

// The characters (code points) of UTF-8 `text`: its bytes that begin one.
std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char byte : text) {
        count += (static_cast<unsigned char>(byte) & 0xC0u) != 0x80u ? 1 : 0;
    }
    return count;
}

// The store's own error, passed on as it is.
ToolError contactStoreFailure(const platform::PlatformError& error) {
    return ToolError(error.domain, error.code, error.description);
}

std::string joinedNumbers(const std::vector<std::string>& numbers) {
    std::string text;
    for (const std::string& number : numbers) {
        if (!text.empty()) {
            text.append(", ");
        }
        text.append(number);
    }
    return text;
}

}  // namespace

ContactsToolHandler::ContactsToolHandler(std::shared_ptr<ContactsManager> manager) : manager_(std::move(manager)) {}

asio::awaitable<ToolOutcome<std::string>> ContactsToolHandler::handle(std::string name, PlainDictionary arguments) {
    if (auto refusal = co_await manager_->requestAccess()) {
        co_return contactStoreFailure(*refusal);
    }
    if (name == "get_all_contacts") {
        co_return co_await getAllContacts(arguments);
    }
    if (name == "find_phone_number") {
        co_return co_await findPhoneNumber(arguments);
    }
    co_return ToolError("ContactsTool", 404, "Unknown contacts tool: " + name);
}

asio::awaitable<ToolOutcome<std::string>> ContactsToolHandler::getAllContacts(const PlainDictionary& arguments) {
    const auto limit = integerArgument(arguments, "limit").value_or(defaultContactLimit);
    auto table = co_await manager_->getAllContacts(limit);
    if (!table) {
        co_return contactStoreFailure(table.error());
    }
    co_return table.value().json();
}

asio::awaitable<ToolOutcome<std::string>> ContactsToolHandler::findPhoneNumber(const PlainDictionary& arguments) {
    auto name = textArgument(arguments, "name");
    if (!name) {
        co_return ToolError("ContactsTool", 400, "Missing name argument");
    }
    if (const auto characters = characterCount(*name); characters > maximumNameCharacters) {
        co_return ToolError("ContactsTool", 400,
                            "Name argument too long: " + std::to_string(characters) + " characters, at most " +
                                std::to_string(maximumNameCharacters));
    }
    auto numbers = co_await manager_->findPhoneNumbers(*name);
    if (!numbers) {
        co_return contactStoreFailure(numbers.error());
    }
    if (numbers.value().empty()) {
        co_return "No phone numbers found for '" + *name + "'";
    }
    co_return joinedNumbers(numbers.value());
}

}  // namespace lumenary::app
