#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/messages/message_database.hpp"
#include "support/finished_within.hpp"
#include "support/messages_database_file.hpp"
#include "support/scoped_time_zone.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {

void PrintTo(const StoredMessage& message, std::ostream* out) {
    *out << "{" << message.content << " | " << message.date << " | " << message.sender << " | " << message.isFromMe
         << message.hasAttachments << "}";
}

namespace {

using lumenary::testing::finishedWithin;
using testing::messagesDatabaseDate;
using testing::MessagesDatabaseFile;
using Message = MessagesDatabaseFile::Message;
using std::chrono::sys_days;
using namespace std::chrono_literals;

std::int64_t utc(std::chrono::year_month_day day, std::chrono::seconds timeOfDay) {
    return messagesDatabaseDate(sys_days(day) + timeOfDay);
}

std::vector<StoredMessage> rowsOf(const PlatformOutcome<std::vector<StoredMessage>>& outcome) {
    if (!outcome) {
        ADD_FAILURE() << outcome.error().description;
        return {};
    }
    return outcome.value();
}

class MessageDatabaseTest : public ::testing::Test {
protected:
    lumenary::testing::ScopedTimeZone zone{"Europe/Berlin"};
    lumenary::testing::TemporaryDirectory folder;
    MessagesDatabaseFile file{folder.path() / "messages.db"};
    MessageDatabase database{file.path()};
    const std::int64_t alice = file.addHandle("+15551234567");
    const std::int64_t bob = file.addHandle("bob@example.com");
};

TEST_F(MessageDatabaseTest, AConversationHoldsTheHandlesMessagesWithSomethingToShowNewestFirstInLocalTime) {
    using std::chrono::year;
    // Oldest first; winter and summer time in Berlin.
    file.addMessage({.text = "plain", .date = utc(year(2025) / 1 / 15, 12h), .handleId = alice});
    file.addMessage(
        {.text = "", .attributedBody = "rich", .date = utc(year(2025) / 2 / 1, 9h), .handleId = alice, .isFromMe = 1});
    file.addMessage({.attributedBody = "rich", .date = utc(year(2025) / 3 / 1, 9h), .handleId = alice});
    file.addMessage({.date = utc(year(2025) / 4 / 1, 9h), .handleId = alice, .isFromMe = 1, .hasAttachments = 1});
    // Seconds are cut, never rounded.
    file.addMessage(
        {.text = "late", .date = utc(year(2025) / 7 / 1, 8h + 30min + 15s) + 999'999'999, .handleId = alice});
    // Left out: nothing to show, not an ordinary message, someone else's.
    file.addMessage({.date = utc(year(2025) / 8 / 1, 9h), .handleId = alice});
    file.addMessage({.text = "group renamed", .date = utc(year(2025) / 8 / 2, 9h), .handleId = alice, .itemType = 2});
    file.addMessage({.text = "to bob", .date = utc(year(2025) / 8 / 3, 9h), .handleId = bob});

    const std::vector<StoredMessage> expected{
        {"late", "2025-07-01 10:30:15", "+15551234567", false, false},
        {"[Attachment]", "2025-04-01 11:00:00", "+15551234567", true, true},
        {"[Rich text message]", "2025-03-01 10:00:00", "+15551234567", false, false},
        {"[Rich text message]", "2025-02-01 10:00:00", "+15551234567", true, false},
        {"plain", "2025-01-15 13:00:00", "+15551234567", false, false},
    };
    EXPECT_EQ(rowsOf(database.conversation("+15551234567", 10)), expected);
}

TEST_F(MessageDatabaseTest, TheHandleIsBoundAsAValueNeverReadAsSQL) {
    const auto quoted = file.addHandle("x' OR '1'='1");
    file.addMessage({.text = "for alice", .date = 1, .handleId = alice});
    file.addMessage({.text = "for the quoted handle", .date = 2, .handleId = quoted});

    const auto rows = rowsOf(database.conversation("x' OR '1'='1", 10));
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].content, "for the quoted handle");
}

TEST_F(MessageDatabaseTest, UnreadMessagesAreTheIncomingUnreadOnesWithUnknownForAMissingHandle) {
    file.addMessage({.text = "unread from alice", .date = 3, .handleId = alice, .isRead = 0});
    file.addMessage({.text = "unread without handle", .date = 2, .isRead = 0});
    file.addMessage({.text = "read", .date = 4, .handleId = alice, .isRead = 1});
    file.addMessage({.text = "mine, never read", .date = 5, .handleId = bob, .isFromMe = 1, .isRead = 0});

    const auto rows = rowsOf(database.unreadMessages(10));
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[0].content, "unread from alice");
    EXPECT_EQ(rows[0].sender, "+15551234567");
    EXPECT_EQ(rows[1].content, "unread without handle");
    EXPECT_EQ(rows[1].sender, "Unknown");
}

TEST_F(MessageDatabaseTest, ANullDateReadsAsEmptyTextAndBrokenUTF8IsRepaired) {
    file.addMessage({.text = std::string("caf\xC3", 4), .handleId = alice});

    const auto rows = rowsOf(database.conversation("+15551234567", 10));
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].content, "caf\xEF\xBF\xBD");
    EXPECT_EQ(rows[0].date, "");
}

TEST(MessageDatabase, AFileThatCannotBeReadFailsAtTheStepThatMeetsItWithSQLitesMessage) {
    lumenary::testing::TemporaryDirectory folder;
    struct Case {
        const char* name;
        std::filesystem::path path;
        MessageDatabaseFailure failure;
        std::string message;
    };
    const auto missing = folder.path() / "missing.db";
    const auto notSQLite = folder.path() / "notes.txt";
    std::ofstream(notSQLite) << "this is not a database, only some text long enough to fill a header of a hundred "
                                "bytes, which SQLite reads first when it opens a file.\n";
    const auto otherSchema = folder.path() / "other.db";
    MessagesDatabaseFile(otherSchema).execute("DROP TABLE message; CREATE TABLE message (body TEXT);");
    const auto corrupted = folder.path() / "corrupted.db";
    testing::writeDatabaseWithABrokenPage(corrupted);

    const std::vector<Case> cases{
        {"missing", missing, MessageDatabaseFailure::notOpened, "unable to open database file"},
        {"not SQLite", notSQLite, MessageDatabaseFailure::notPrepared, "file is not a database"},
        {"another schema", otherSchema, MessageDatabaseFailure::notPrepared, "no such column: m.text"},
        {"a broken page", corrupted, MessageDatabaseFailure::stepFailed, "database disk image is malformed"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto outcome = MessageDatabase(testCase.path).conversation("+15551234567", 10);
        ASSERT_FALSE(outcome);
        EXPECT_EQ(outcome.error().domain, "MessageDatabase");
        EXPECT_EQ(outcome.error().code, static_cast<std::int64_t>(testCase.failure));
        EXPECT_EQ(outcome.error().description, testCase.message);
    }
    EXPECT_FALSE(std::filesystem::exists(missing)) << "a read-only open never creates the file";
}

TEST(MessageDatabase, AFileThatWouldHoldTheCallForEverFailsAtOnceOrAtTheDeadline) {
    lumenary::testing::TemporaryDirectory folder;
    const auto pipe = folder.path() / "pipe.db";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const auto endless = folder.path() / "endless.db";
    MessagesDatabaseFile(endless).execute(
        "DROP TABLE message;"
        "CREATE VIEW message AS WITH RECURSIVE counting(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM counting)"
        " SELECT 'again' AS text, NULL AS attributedBody, n AS date, 1 AS handle_id, 0 AS is_from_me,"
        " n > 0 AS is_read, 0 AS cache_has_attachments, 0 AS item_type FROM counting;");
    struct Case {
        const char* name;
        std::filesystem::path path;
        MessageDatabaseFailure failure;
        std::string message;
    };
    const std::vector<Case> cases{
        {"a named pipe nobody writes", pipe, MessageDatabaseFailure::notOpened, "not a regular file"},
        {"a view that never ends", endless, MessageDatabaseFailure::stepFailed,
         "interrupted: still running after 100 ms"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const MessageDatabase database(testCase.path, 100ms);
        const auto outcome = finishedWithin(10s, [database] { return database.unreadMessages(10); });
        ASSERT_TRUE(outcome) << "still running after 10 s";
        ASSERT_FALSE(*outcome);
        EXPECT_EQ(outcome->error().code, static_cast<std::int64_t>(testCase.failure));
        EXPECT_EQ(outcome->error().description, testCase.message);
    }
    const auto pipeProblem = finishedWithin(10s, [pipe] { return MessageDatabase(pipe).readabilityProblem(); });
    ASSERT_TRUE(pipeProblem) << "the readability check still waits on the pipe after 10 s";
    ASSERT_TRUE(*pipeProblem);
    EXPECT_EQ((*pipeProblem)->description, "not a regular file");
}

TEST_F(MessageDatabaseTest, AWritersLockIsWaitedForUpToTwoSecondsThenReported) {
    file.execute("BEGIN EXCLUSIVE");
    file.execute("INSERT INTO handle (id) VALUES ('someone')");

    const auto started = std::chrono::steady_clock::now();
    const auto outcome = database.unreadMessages(10);
    const auto waited = std::chrono::steady_clock::now() - started;

    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().code, static_cast<std::int64_t>(MessageDatabaseFailure::notPrepared));
    EXPECT_EQ(outcome.error().description, "database is locked");
    EXPECT_GE(waited, 1900ms);
    EXPECT_LT(waited, 10s);
    file.execute("ROLLBACK");
}

TEST_F(MessageDatabaseTest, TheReadabilityCheckOpensTheFileAndReadsItsSchema) {
    lumenary::testing::TemporaryDirectory elsewhere;
    const auto notSQLite = elsewhere.path() / "text.db";
    std::ofstream(notSQLite) << std::string(200, 'x');

    EXPECT_FALSE(database.readabilityProblem());
    const auto missing = MessageDatabase(elsewhere.path() / "missing.db").readabilityProblem();
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->code, static_cast<std::int64_t>(MessageDatabaseFailure::notOpened));
    const auto unreadable = MessageDatabase(notSQLite).readabilityProblem();
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(unreadable->description, "file is not a database");
}

}  // namespace
}  // namespace lumenary::platform
