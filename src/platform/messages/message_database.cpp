#include "platform/messages/message_database.hpp"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <string_view>
#include <utility>

#include "platform/defaults/data_location.hpp"
#include "system/owned_descriptor.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

// Long enough for a synchroniser's write to finish; short enough that a
// stuck writer does not hold a tool call for long.
constexpr int busyTimeoutMilliseconds = 2000;
// Virtual-machine steps between two looks at the clock: a look costs far
// less than the steps, and they pass in well under a millisecond.
constexpr int stepsBetweenDeadlineChecks = 1000;

// The two queries are the contract with the database's layout: the date is
// nanoseconds since 2001-01-01 UTC, shown in local time; the newest first.
// The limit is appended as a decimal number.
constexpr std::string_view conversationQuery =
    "  SELECT\n"
    "      CASE\n"
    "          WHEN m.text IS NOT NULL AND m.text != '' THEN m.text\n"
    "          WHEN m.attributedBody IS NOT NULL THEN '[Rich text message]'\n"
    "          ELSE '[Attachment]'\n"
    "      END as content,\n"
    "      datetime(m.date/1000000000 + strftime('%s', '2001-01-01'), 'unixepoch', 'localtime') as date,\n"
    "      COALESCE(h.id, 'Me') as sender,\n"
    "      m.is_from_me,\n"
    "      m.cache_has_attachments\n"
    "  FROM message m\n"
    "  LEFT JOIN handle h ON h.ROWID = m.handle_id\n"
    "  WHERE h.id = ?\n"
    "      AND (m.text IS NOT NULL OR m.attributedBody IS NOT NULL OR m.cache_has_attachments = 1)\n"
    "      AND m.item_type = 0\n"
    "  ORDER BY m.date DESC\n"
    "  LIMIT ";

constexpr std::string_view unreadQuery =
    "  SELECT\n"
    "      CASE\n"
    "          WHEN m.text IS NOT NULL AND m.text != '' THEN m.text\n"
    "          WHEN m.attributedBody IS NOT NULL THEN '[Rich text message]'\n"
    "          ELSE '[Attachment]'\n"
    "      END as content,\n"
    "      datetime(m.date/1000000000 + strftime('%s', '2001-01-01'), 'unixepoch', 'localtime') as date,\n"
    "      COALESCE(h.id, 'Unknown') as sender,\n"
    "      m.is_from_me,\n"
    "      m.cache_has_attachments\n"
    "  FROM message m\n"
    "  LEFT JOIN handle h ON h.ROWID = m.handle_id\n"
    "  WHERE m.is_from_me = 0\n"
    "      AND m.is_read = 0\n"
    "      AND (m.text IS NOT NULL OR m.attributedBody IS NOT NULL OR m.cache_has_attachments = 1)\n"
    "      AND m.item_type = 0\n"
    "  ORDER BY m.date DESC\n"
    "  LIMIT ";

PlatformError databaseFailure(MessageDatabaseFailure failure, std::string message) {
    return PlatformError{"MessageDatabase", static_cast<std::int64_t>(failure), system::repairUTF8(message)};
}

// SQLite opens the path itself, which blocks for ever on a named pipe that
// nobody writes; a non-blocking look first never waits. A path this look
// cannot open is left to SQLite, whose message says why.
bool isOtherThanARegularFile(const std::filesystem::path& path) {
    const system::OwnedDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat status {};
    return file.get() >= 0 && ::fstat(file.get(), &status) == 0 && !S_ISREG(status.st_mode);
}

// SQLite's progress handler: a non-zero answer stops the running statement
// with SQLITE_INTERRUPT.
int isPastDeadline(void* deadline) {
    return std::chrono::steady_clock::now() >= *static_cast<const std::chrono::steady_clock::time_point*>(deadline);
}

// One read-only connection, closed on every path. It runs one statement, so
// the deadline, counted from the open, is that statement's.
class Connection {
public:
    explicit Connection(std::chrono::milliseconds deadline) : limit_(deadline) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { sqlite3_close_v2(database_); }

    std::optional<PlatformError> open(const std::filesystem::path& path) {
        if (isOtherThanARegularFile(path)) {
            return databaseFailure(MessageDatabaseFailure::notOpened, "not a regular file");
        }
        const int result = sqlite3_open_v2(path.c_str(), &database_, SQLITE_OPEN_READONLY, nullptr);
        if (result != SQLITE_OK) {
            // Without memory for a handle there is no handle to ask.
            return databaseFailure(MessageDatabaseFailure::notOpened,
                                   database_ ? sqlite3_errmsg(database_) : sqlite3_errstr(result));
        }
        sqlite3_busy_timeout(database_, busyTimeoutMilliseconds);
        deadline_ = std::chrono::steady_clock::now() + limit_;
        sqlite3_progress_handler(database_, stepsBetweenDeadlineChecks, isPastDeadline, &deadline_);
        return std::nullopt;
    }

    sqlite3* get() const noexcept { return database_; }
    std::string lastMessage() const { return sqlite3_errmsg(database_); }

    // Why a step did not answer a row: SQLite's message, with the deadline
    // when that is what stopped it.
    PlatformError stepFailure(int result) const {
        if (result == SQLITE_INTERRUPT) {
            return databaseFailure(MessageDatabaseFailure::stepFailed,
                                   lastMessage() + ": still running after " + std::to_string(limit_.count()) + " ms");
        }
        return databaseFailure(MessageDatabaseFailure::stepFailed, lastMessage());
    }

private:
    sqlite3* database_ = nullptr;
    std::chrono::milliseconds limit_;
    std::chrono::steady_clock::time_point deadline_;
};

// One prepared statement, finalised on every path.
class Statement {
public:
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(statement_); }

    std::optional<PlatformError> prepare(const Connection& connection, std::string_view sql,
                                         const std::vector<std::string>& parameters) {
        if (sqlite3_prepare_v2(connection.get(), sql.data(), static_cast<int>(sql.size()), &statement_, nullptr) !=
            SQLITE_OK) {
            return databaseFailure(MessageDatabaseFailure::notPrepared, connection.lastMessage());
        }
        for (std::size_t index = 0; index < parameters.size(); ++index) {
            const auto& parameter = parameters[index];
            if (sqlite3_bind_text64(statement_, static_cast<int>(index + 1), parameter.data(), parameter.size(),
                                    SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK) {
                return databaseFailure(MessageDatabaseFailure::notPrepared, connection.lastMessage());
            }
        }
        return std::nullopt;
    }

    sqlite3_stmt* get() const noexcept { return statement_; }

    // NULL reads as empty text.
    std::string text(int column) const {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        if (bytes == nullptr) {
            return {};
        }
        return system::repairUTF8(
            std::string_view(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))));
    }

    bool isOne(int column) const { return sqlite3_column_int64(statement_, column) == 1; }

private:
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace

MessageDatabase::MessageDatabase(std::filesystem::path path, std::chrono::milliseconds queryDeadline)
    : path_(std::move(path)), queryDeadline_(queryDeadline) {}

PlatformOutcome<std::vector<StoredMessage>> MessageDatabase::conversation(const std::string& handle,
                                                                          std::int64_t limit) const {
    return query(std::string(conversationQuery) + std::to_string(limit), {handle});
}

PlatformOutcome<std::vector<StoredMessage>> MessageDatabase::unreadMessages(std::int64_t limit) const {
    return query(std::string(unreadQuery) + std::to_string(limit), {});
}

PlatformOutcome<std::vector<StoredMessage>> MessageDatabase::query(const std::string& sql,
                                                                   const std::vector<std::string>& parameters) const {
    Connection connection(queryDeadline_);
    if (auto error = connection.open(path_)) {
        return std::move(*error);
    }
    Statement statement;
    if (auto error = statement.prepare(connection, sql, parameters)) {
        return std::move(*error);
    }
    std::vector<StoredMessage> messages;
    for (;;) {
        const int result = sqlite3_step(statement.get());
        if (result == SQLITE_DONE) {
            return messages;
        }
        if (result != SQLITE_ROW) {
            // Part of an answer would read as the whole history.
            return connection.stepFailure(result);
        }
        messages.push_back(StoredMessage{.content = statement.text(0),
                                         .date = statement.text(1),
                                         .sender = statement.text(2),
                                         .isFromMe = statement.isOne(3),
                                         .hasAttachments = statement.isOne(4)});
    }
}

std::optional<PlatformError> MessageDatabase::readabilityProblem() const {
    Connection connection(queryDeadline_);
    if (auto error = connection.open(path_)) {
        return error;
    }
    // Opening reads nothing; preparing reads the schema, which is where a
    // file that is not SQLite, or is locked, first shows.
    Statement statement;
    if (auto error = statement.prepare(connection, "SELECT count(*) FROM sqlite_master", {})) {
        return error;
    }
    if (const int result = sqlite3_step(statement.get()); result != SQLITE_ROW) {
        return connection.stepFailure(result);
    }
    return std::nullopt;
}

std::filesystem::path messagesDatabasePath(const DefaultsStore& defaults) {
    return dataLocation("LUMENARY_MESSAGES_DB", "messagesDatabasePath", defaults, "lumenary/messages.db");
}

}  // namespace lumenary::platform
