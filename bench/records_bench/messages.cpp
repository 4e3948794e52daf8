// read_messages and get_unread_messages on a database of 200,000 messages,
// through the category as the tool service calls it: each call opens the
// file, runs its query and closes the file again, worker-pool hops
// included. Wall-clock times: the query runs on the worker pool.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/tools/messages/messages_tool_handler.hpp"
#include "platform/messages/message_database.hpp"
#include "support/messages_database_file.hpp"
#include "support/recording_message_sender.hpp"
#include "support/temporary_directory.hpp"
#include "tool_text.hpp"

namespace {

using lumenary::app::MessagesToolHandler;
using lumenary::app::PlainDictionary;

constexpr int messageCount = 200'000;
constexpr int handleCount = 1'000;

// One message a minute from 2001 on, spread over a thousand handles, half
// of them sent; every tenth is rich text only, every 25th carries an
// attachment, every 50th is unread and every 100th is not an ordinary
// message.
class MessagesDatabase {
public:
    MessagesDatabase() {
        {
            lumenary::testing::MessagesDatabaseFile file(folder_.path() / "messages.db");
            file.execute("BEGIN");
            file.execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                         std::to_string(handleCount) +
                         ") INSERT INTO handle (id) SELECT printf('+1555%07d', i) FROM n");
            file.execute(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                std::to_string(messageCount) +
                ") INSERT INTO message (text, attributedBody, date, handle_id, is_from_me, is_read,"
                " cache_has_attachments, item_type) SELECT"
                " CASE WHEN i % 10 = 0 THEN NULL ELSE 'Message ' || i || ': ' ||"
                "  substr('Running a little late, see you at the station in ten minutes or so. Bring the tickets!',"
                "  1, 20 + i % 70) END,"
                " CASE WHEN i % 10 = 0 THEN randomblob(200) ELSE NULL END,"
                " i * 60000000000, 1 + i % " +
                std::to_string(handleCount) +
                ", i % 2, CASE WHEN i % 50 = 0 THEN 0 ELSE 1 END, CASE WHEN i % 25 = 0 THEN 1 ELSE 0 END,"
                " CASE WHEN i % 100 = 0 THEN 1 ELSE 0 END FROM n");
            file.execute("COMMIT");
        }
        handler_ = std::make_shared<MessagesToolHandler>(
            std::make_shared<lumenary::platform::MessageDatabase>(folder_.path() / "messages.db"),
            std::make_shared<lumenary::testing::RecordingMessageSender>());
    }

    std::string call(const std::string& tool, PlainDictionary arguments) {
        return records_bench::toolText(*handler_, tool, std::move(arguments));
    }

private:
    lumenary::testing::TemporaryDirectory folder_;
    std::shared_ptr<MessagesToolHandler> handler_;
};

MessagesDatabase& messagesDatabase() {
    static MessagesDatabase database;
    return database;
}

void callTool(benchmark::State& state, const std::string& tool, PlainDictionary arguments) {
    auto& database = messagesDatabase();
    for (auto _ : state) {
        const auto text = database.call(tool, arguments);
        if (text == "[]") {
            state.SkipWithError(("no messages from " + tool).c_str());
            return;
        }
        benchmark::DoNotOptimize(text.data());
    }
}

BENCHMARK_CAPTURE(callTool, read_messages, std::string("read_messages"),
                  PlainDictionary{{"phoneNumber", "+15550000042"}, {"limit", 50}})
    ->Name("messages/read_messages/200000_messages")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(callTool, get_unread_messages, std::string("get_unread_messages"), PlainDictionary{{"limit", 50}})
    ->Name("messages/get_unread_messages/200000_messages")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
