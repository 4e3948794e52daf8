#include "app/tools/messages/message_texts.hpp"

#include "mcp/core/json.hpp"
#include "system/utf8.hpp"

namespace lumenary::app {

std::string messageRecordsJSON(const std::vector<platform::StoredMessage>& messages) {
    mcp::Value::Array records;
    records.reserve(messages.size());
    for (const auto& message : messages) {
        records.push_back(mcp::Value::object({
            {"content", message.content},
            {"date", message.date},
            {"sender", message.sender},
            {"isFromMe", message.isFromMe},
            {"hasAttachments", message.hasAttachments},
        }));
    }
    return mcp::writeJSON(mcp::Value(std::move(records)),
                          mcp::JSONWriteOptions{.escapeSlashes = true, .prettyPrinted = true});
}

std::string messageDatabaseFailureText(const platform::PlatformError& error, const std::filesystem::path& database) {
    switch (static_cast<platform::MessageDatabaseFailure>(error.code)) {
        case platform::MessageDatabaseFailure::notOpened:
            return "Failed to open messages DB: " + error.description + ". Lumenary reads the messages database " +
                   system::repairUTF8(database.string()) +
                   ": make it a SQLite file of the messages schema that this user can read, or set "
                   "LUMENARY_MESSAGES_DB or the defaults key messagesDatabasePath to one that is.";
        case platform::MessageDatabaseFailure::notPrepared: return "Query prepare failed: " + error.description;
        case platform::MessageDatabaseFailure::stepFailed: break;
    }
    return "Query failed: " + error.description;
}

}  // namespace lumenary::app
