#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/defaults/defaults_store.hpp"
#include "platform/platform_error.hpp"

namespace lumenary::platform {

// One row of a messages query, every text repaired to UTF-8. A NULL text
// column (a stored date of NULL gives one) reads as empty text.
struct StoredMessage {
    // The plain text, "[Rich text message]" or "[Attachment]".
    std::string content;
    // Local time as "YYYY-MM-DD HH:MM:SS".
    std::string date;
    // The handle, or "Me" / "Unknown" for a message without one.
    std::string sender;
    bool isFromMe = false;
    bool hasAttachments = false;

    bool operator==(const StoredMessage&) const = default;
};

// What a failed query stopped at; the error's code. Its description is
// SQLite's own message.
enum class MessageDatabaseFailure : std::int64_t {
    notOpened = 1,
    notPrepared = 2,
    // A row could not be read: the rows before it are not answered either.
    stepFailed = 3,
};

// Long enough for any honest query over years of messages; a view that
// never ends is stopped there.
inline constexpr std::chrono::milliseconds defaultMessageQueryDeadline{5000};

// The user's messages database: a SQLite file of the `message` and `handle`
// tables that no program of ours writes. Every call opens the file read-only
// afresh, binds its values as parameters (nothing is spliced into the SQL),
// waits up to 2 s for a writer's lock, and closes the file before it
// returns. A path that is not a regular file (a named pipe would stall the
// open) is notOpened; a query still running at its deadline is stopped as
// stepFailed. Blocking: callers run it on the worker pool. Keeps no state
// but the path and the deadline, so any thread may call it.
class MessageDatabase {
public:
    explicit MessageDatabase(std::filesystem::path path,
                             std::chrono::milliseconds queryDeadline = defaultMessageQueryDeadline);

    const std::filesystem::path& path() const noexcept { return path_; }

    // The newest messages exchanged with `handle` that carry text, rich text
    // or an attachment, at most `limit` (0 or more).
    PlatformOutcome<std::vector<StoredMessage>> conversation(const std::string& handle, std::int64_t limit) const;
    // The newest unread incoming messages, at most `limit` (0 or more).
    PlatformOutcome<std::vector<StoredMessage>> unreadMessages(std::int64_t limit) const;

    // The panel's access check: nothing when the file opens and its schema
    // can be read, else the failure a query would meet first (a missing
    // file is notOpened; a file that is not SQLite, or one a writer holds
    // locked, is notPrepared).
    std::optional<PlatformError> readabilityProblem() const;

private:
    PlatformOutcome<std::vector<StoredMessage>> query(const std::string& sql,
                                                      const std::vector<std::string>& parameters) const;

    std::filesystem::path path_;
    std::chrono::milliseconds queryDeadline_;
};

// Where the messages database is: $LUMENARY_MESSAGES_DB, else the defaults
// key messagesDatabasePath, else $XDG_DATA_HOME/lumenary/messages.db.
std::filesystem::path messagesDatabasePath(const DefaultsStore& defaults);

}  // namespace lumenary::platform
