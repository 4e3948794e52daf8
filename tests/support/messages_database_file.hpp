#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

namespace lumenary::testing {

// A messages database file of the `message` and `handle` tables, written
// by a test (the program itself only ever reads one). The connection stays
// open for writing until the object goes.
class MessagesDatabaseFile {
public:
    // One message row; absent values are stored as NULL.
    struct Message {
        std::optional<std::string> text = std::nullopt;
        // Stored as a blob, as rich text is.
        std::optional<std::string> attributedBody = std::nullopt;
        // Nanoseconds since 2001-01-01 00:00:00 UTC.
        std::optional<std::int64_t> date = std::nullopt;
        std::optional<std::int64_t> handleId = std::nullopt;
        int isFromMe = 0;
        int isRead = 1;
        int hasAttachments = 0;
        int itemType = 0;
    };

    explicit MessagesDatabaseFile(std::filesystem::path path) : path_(std::move(path)) {
        if (sqlite3_open_v2(path_.c_str(), &database_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK) {
            throw std::runtime_error("cannot create " + path_.string());
        }
        // Nothing a test writes needs to survive a power cut.
        execute("PRAGMA synchronous = OFF;");
        execute(
            "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, id TEXT NOT NULL);"
            "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, text TEXT, attributedBody BLOB,"
            " date INTEGER, handle_id INTEGER DEFAULT 0, is_from_me INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0,"
            " cache_has_attachments INTEGER DEFAULT 0, item_type INTEGER DEFAULT 0);");
    }
    ~MessagesDatabaseFile() { sqlite3_close_v2(database_); }
    MessagesDatabaseFile(const MessagesDatabaseFile&) = delete;
    MessagesDatabaseFile& operator=(const MessagesDatabaseFile&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }

    void execute(const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(database_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string message = error ? error : "unknown error";
            sqlite3_free(error);
            throw std::runtime_error("SQL failed: " + message);
        }
    }

    // The new handle's ROWID.
    std::int64_t addHandle(const std::string& id) {
        Statement statement(database_, "INSERT INTO handle (id) VALUES (?)");
        sqlite3_bind_text(statement.get(), 1, id.data(), static_cast<int>(id.size()), SQLITE_TRANSIENT);
        statement.run();
        return sqlite3_last_insert_rowid(database_);
    }

    void addMessage(const Message& message) {
        Statement statement(database_,
                            "INSERT INTO message (text, attributedBody, date, handle_id, is_from_me, is_read,"
                            " cache_has_attachments, item_type) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        auto* row = statement.get();
        if (message.text) {
            sqlite3_bind_text(row, 1, message.text->data(), static_cast<int>(message.text->size()), SQLITE_TRANSIENT);
        }
        if (message.attributedBody) {
            sqlite3_bind_blob(row, 2, message.attributedBody->data(), static_cast<int>(message.attributedBody->size()),
                              SQLITE_TRANSIENT);
        }
        if (message.date) {
            sqlite3_bind_int64(row, 3, *message.date);
        }
        if (message.handleId) {
            sqlite3_bind_int64(row, 4, *message.handleId);
        }
        sqlite3_bind_int(row, 5, message.isFromMe);
        sqlite3_bind_int(row, 6, message.isRead);
        sqlite3_bind_int(row, 7, message.hasAttachments);
        sqlite3_bind_int(row, 8, message.itemType);
        statement.run();
    }

private:
    class Statement {
    public:
        Statement(sqlite3* database, const char* sql) {
            if (sqlite3_prepare_v2(database, sql, -1, &statement_, nullptr) != SQLITE_OK) {
                throw std::runtime_error(std::string("cannot prepare: ") + sqlite3_errmsg(database));
            }
        }
        ~Statement() { sqlite3_finalize(statement_); }
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;

        sqlite3_stmt* get() const noexcept { return statement_; }
        void run() {
            if (sqlite3_step(statement_) != SQLITE_DONE) {
                throw std::runtime_error(std::string("cannot insert: ") +
                                         sqlite3_errmsg(sqlite3_db_handle(statement_)));
            }
        }

    private:
        sqlite3_stmt* statement_ = nullptr;
    };

    std::filesystem::path path_;
    sqlite3* database_ = nullptr;
};

// A moment as the messages database stores it: nanoseconds since
// 2001-01-01 00:00:00 UTC.
inline std::int64_t messagesDatabaseDate(std::chrono::sys_seconds moment) {
    constexpr std::chrono::sys_seconds epoch{std::chrono::sys_days{std::chrono::year(2001) / 1 / 1}};
    return (moment - epoch).count() * 1'000'000'000;
}

// A database whose schema reads but whose message rows do not: 200 messages
// fill several pages, and the last page, one of the message table's, is
// overwritten with bytes that are no page at all.
inline void writeDatabaseWithABrokenPage(const std::filesystem::path& path) {
    {
        MessagesDatabaseFile file(path);
        const auto handle = file.addHandle("+15551234567");
        file.execute("BEGIN");
        for (int index = 0; index < 200; ++index) {
            file.addMessage({.text = std::string(300, 'x'), .date = index, .handleId = handle, .isRead = 0});
        }
        file.execute("COMMIT");
    }
    std::fstream bytes(path, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char header[18];
    bytes.read(reinterpret_cast<char*>(header), sizeof header);
    const auto pageSize = static_cast<std::streamoff>(header[16] << 8 | header[17]);
    bytes.seekp(-pageSize, std::ios::end);
    const std::string garbage(static_cast<std::size_t>(pageSize), '\xFF');
    bytes.write(garbage.data(), pageSize);
}

}  // namespace lumenary::testing
