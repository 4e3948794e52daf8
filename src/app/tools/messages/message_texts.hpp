#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/messages/message_database.hpp"

namespace lumenary::app {

// The rows of a messages query as the reading tools answer them: an
// indented JSON array of {"content", "date", "sender", "isFromMe",
// "hasAttachments"} objects, "[]" when there are none.
std::string messageRecordsJSON(const std::vector<platform::StoredMessage>& messages);

// What a failed query says to the user: the step that failed with SQLite's
// message and, when the file would not open, where the database is looked
// for and how to point elsewhere.
std::string messageDatabaseFailureText(const platform::PlatformError& error, const std::filesystem::path& database);

}  // namespace lumenary::app
