#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "app/tools/local_tool_service.hpp"
#include "app/tools/messages/messages_tool_handler.hpp"
#include "app/tools/messages/phone_number.hpp"
#include "app/tools/tool_outcome_text.hpp"
#include "mcp/core/json.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/finished_within.hpp"
#include "support/messages_database_file.hpp"
#include "support/recording_message_sender.hpp"
#include "support/run_awaitable.hpp"
#include "support/scoped_time_zone.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::app {
namespace {

using lumenary::testing::MessagesDatabaseFile;
using lumenary::testing::RecordingMessageSender;
using SentMessage = RecordingMessageSender::SentMessage;
using namespace std::chrono_literals;

// The messages category behind a switched-on tool service, over a database
// file the test fills and a sender that records what it is handed.
class MessagesToolsTest : public ::testing::Test {
protected:
    MessagesToolsTest() {
        ToolCategories categories;
        categories[static_cast<std::size_t>(ToolCategoryKind::messages)] = messages;
        service = std::make_shared<LocalToolService>(io.get_executor(), defaults, categories);
        service->setMessagesEnabled(true);
    }

    // The tool's text, or "<domain> <code> <description>" of its error.
    std::string call(std::string name, PlainDictionary arguments = {}) {
        return outcomeText(service->callTool(std::move(name), std::move(arguments)));
    }
    std::string outcomeText(asio::awaitable<ToolOutcome<std::string>> call) {
        return app::testing::toolOutcomeText(io, std::move(call));
    }

    void addMessages(int count, std::int64_t handle, int isRead = 1) {
        file.execute("BEGIN");
        for (int index = 0; index < count; ++index) {
            file.addMessage(
                {.text = "message " + std::to_string(index), .date = index, .handleId = handle, .isRead = isRead});
        }
        file.execute("COMMIT");
    }

    static std::size_t recordCount(const std::string& json) {
        std::size_t count = 0;
        for (auto found = json.find("\"content\""); found != std::string::npos;
             found = json.find("\"content\"", found + 1)) {
            ++count;
        }
        return count;
    }

    lumenary::testing::ScopedTimeZone zone{"UTC"};
    lumenary::testing::TemporaryDirectory folder;
    MessagesDatabaseFile file{folder.path() / "messages.db"};
    const std::int64_t alice = file.addHandle("+15551234567");
    std::shared_ptr<RecordingMessageSender> sender = std::make_shared<RecordingMessageSender>();
    std::shared_ptr<MessagesToolHandler> messages =
        std::make_shared<MessagesToolHandler>(std::make_shared<platform::MessageDatabase>(file.path()), sender);
    asio::io_context io;
    platform::MemoryDefaultsStore defaults;
    std::shared_ptr<LocalToolService> service;
};

TEST(PhoneNumberNormalization, KeepsNumberCharactersAndPlusAndTakesTenAsNorthAmerican) {
    struct Case {
        std::string given;
        std::string normalized;
    };
    const std::vector<Case> cases{
        {"(555) 123-4567", "+15551234567"},
        {"555-1234", "5551234"},
        {"+44 20 7946 0958", "+442079460958"},
        {"0044 20 7946 0958", "00442079460958"},
        {"1-800-FLOWERS", "1800"},
        {"call me", ""},
        // Digits of other scripts are numbers too, and count as one each.
        {"٠١٢٣٤٥٦٧٨٩", "+1٠١٢٣٤٥٦٧٨٩"},
        {"５５５１２３４５６７", "+1５５５１２３４５６７"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(normalizePhoneNumber(testCase.given), testCase.normalized) << testCase.given;
    }
}

TEST_F(MessagesToolsTest, SendHandsTheNormalizedNumberAndTheTextUnchangedToTheSender) {
    const std::string text = "He said \"hi\"\\ and left\n-- see you";

    EXPECT_EQ(call("send_message", {{"phoneNumber", "(555) 123-4567"}, {"message", text}}),
              "✅ Message sent to +15551234567");
    EXPECT_EQ(sender->sent(), (std::vector<SentMessage>{{"+15551234567", text}}));
}

TEST_F(MessagesToolsTest, SendRefusesWhatItCannotSendWithoutCallingTheSender) {
    struct Case {
        PlainDictionary arguments;
        std::string answer;
    };
    const std::vector<Case> cases{
        {{{"message", "hi"}}, "MessagesTool 400 Missing phoneNumber or message"},
        {{{"phoneNumber", "5551234"}}, "MessagesTool 400 Missing phoneNumber or message"},
        {{{"phoneNumber", 5551234}, {"message", "hi"}}, "MessagesTool 400 Missing phoneNumber or message"},
        {{{"phoneNumber", "5551234"}, {"message", std::string("cut\0here", 8)}},
         "MessagesTool 400 Invalid message: it holds a NUL character, which cannot be sent"},
        {{{"phoneNumber", "call me"}, {"message", "hi"}}, "MessagesTool 400 Invalid phoneNumber: it holds no digits"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(call("send_message", testCase.arguments), testCase.answer);
    }
    EXPECT_TRUE(sender->sent().empty());
}

TEST_F(MessagesToolsTest, ASendTheSenderCouldNotHandOverIsA500WithItsReason) {
    sender->failWith(platform::PlatformError{"MessageSender", 19, "no phone paired with KDE Connect is reachable."});

    EXPECT_EQ(call("send_message", {{"phoneNumber", "5551234"}, {"message", "hi"}}),
              "MessagesTool 500 Failed to send: no phone paired with KDE Connect is reachable.");
}

TEST_F(MessagesToolsTest, ReadMessagesAnswersTheRecordsAsIndentedJSONForTheNormalizedNumber) {
    file.addMessage(
        {.text = "see https://example.com/a", .date = 0, .handleId = alice, .isFromMe = 1, .hasAttachments = 1});

    EXPECT_EQ(call("read_messages", {{"phoneNumber", "555 123 4567"}}),
              "[\n"
              "  {\n"
              "    \"content\": \"see https:\\/\\/example.com\\/a\",\n"
              "    \"date\": \"2001-01-01 00:00:00\",\n"
              "    \"hasAttachments\": true,\n"
              "    \"isFromMe\": true,\n"
              "    \"sender\": \"+15551234567\"\n"
              "  }\n"
              "]");
    EXPECT_EQ(call("read_messages", {{"phoneNumber", "+1 555 000 0000"}}), "[]");
}

TEST_F(MessagesToolsTest, TheLimitIsAnIntegerFromZeroToFiftyAndTenOtherwise) {
    addMessages(60, alice, 0);
    struct Case {
        std::optional<PlainValue> limit;
        std::size_t records;
    };
    const std::vector<Case> cases{
        {std::nullopt, 10}, {5, 5}, {50, 50}, {100, 50}, {0, 0}, {-1, 0}, {-100, 0}, {7.5, 10}, {"7", 10},
    };
    for (const auto& testCase : cases) {
        PlainDictionary arguments;
        if (testCase.limit) {
            arguments["limit"] = *testCase.limit;
        }
        SCOPED_TRACE(testCase.limit ? mcp::writeJSON(*testCase.limit) : "absent");
        const auto unread = call("get_unread_messages", arguments);
        EXPECT_EQ(recordCount(unread), testCase.records);
        arguments["phoneNumber"] = "+15551234567";
        const auto history = call("read_messages", arguments);
        EXPECT_EQ(recordCount(history), testCase.records);
        if (testCase.records == 0) {
            EXPECT_EQ(unread, "[]");
            EXPECT_EQ(history, "[]");
        }
    }
}

TEST_F(MessagesToolsTest, ReadMessagesNeedsATextPhoneNumber) {
    EXPECT_EQ(call("read_messages", {{"limit", 5}}), "MessagesTool 400 Missing phoneNumber");
    EXPECT_EQ(call("read_messages", {{"phoneNumber", 5551234567}}), "MessagesTool 400 Missing phoneNumber");
}

TEST(MessagesTools, ADatabaseThatCannotBeReadAnswersA500NamingTheStepWithSQLitesMessage) {
    lumenary::testing::TemporaryDirectory folder;
    const auto missing = folder.path() / "missing.db";
    const auto notSQLite = folder.path() / "text.db";
    std::ofstream(notSQLite) << std::string(200, 'x');
    const auto otherSchema = folder.path() / "other.db";
    MessagesDatabaseFile(otherSchema).execute("DROP TABLE handle;");
    const auto brokenPage = folder.path() / "broken.db";
    lumenary::testing::writeDatabaseWithABrokenPage(brokenPage);
    struct Case {
        std::filesystem::path database;
        std::string answer;
    };
    const std::vector<Case> cases{
        {missing,
         "MessagesTool 500 Failed to open messages DB: unable to open database file. Lumenary reads the "
         "messages database " +
             missing.string() +
             ": make it a SQLite file of the messages schema that this user can read, or set "
             "LUMENARY_MESSAGES_DB or the defaults key messagesDatabasePath to one that is."},
        {notSQLite, "MessagesTool 500 Query prepare failed: file is not a database"},
        {otherSchema, "MessagesTool 500 Query prepare failed: no such table: handle"},
        // Not the rows read before the broken page, as if they were all.
        {brokenPage, "MessagesTool 500 Query failed: database disk image is malformed"},
    };
    for (const auto& testCase : cases) {
        MessagesToolHandler handler(std::make_shared<platform::MessageDatabase>(testCase.database),
                                    std::make_shared<RecordingMessageSender>());
        for (const auto* tool : {"read_messages", "get_unread_messages"}) {
            SCOPED_TRACE(tool);
            auto outcome = lumenary::testing::runAwaitable(handler.handle(tool, {{"phoneNumber", "+15551234567"}}));
            ASSERT_FALSE(outcome);
            EXPECT_EQ(outcome.error().domain() + " " + std::to_string(outcome.error().code()) + " " +
                          outcome.error().description(),
                      testCase.answer);
        }
    }
}

TEST(MessagesTools, ANamedPipeAsTheDatabaseIsRefusedAtOnceSayingWhereTheDatabaseIsLookedFor) {
    lumenary::testing::TemporaryDirectory folder;
    const auto pipe = folder.path() / "pipe.db";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    auto handler = std::make_shared<MessagesToolHandler>(std::make_shared<platform::MessageDatabase>(pipe),
                                                         std::make_shared<RecordingMessageSender>());

    const auto outcome = lumenary::testing::finishedWithin(
        10s, [handler] { return lumenary::testing::runAwaitable(handler->handle("get_unread_messages", {})); });
    if (!outcome) {
        // Lets the waiting open go, so that the worker pool can stop at exit.
        ::close(::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        FAIL() << "still waiting on the pipe after 10 s";
    }
    ASSERT_FALSE(*outcome);
    EXPECT_EQ(outcome->error().description(),
              "Failed to open messages DB: not a regular file. Lumenary reads the messages database " + pipe.string() +
                  ": make it a SQLite file of the messages schema that this user can read, or set "
                  "LUMENARY_MESSAGES_DB or the defaults key messagesDatabasePath to one that is.");
}

TEST_F(MessagesToolsTest, ANameNotOwnedIsA404NamingIt) {
    EXPECT_EQ(outcomeText(messages->handle("send_messages", {})),
              "MessagesTool 404 Unknown messages tool: send_messages");
}

}  // namespace
}  // namespace lumenary::app
