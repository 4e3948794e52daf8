// The real program, started the way a client or a user starts it: with a
// folder of its own for the defaults, on a free port, talked to over its
// pipes and over HTTP.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "app/host/program_test_support.hpp"
#include "async/context_runner.hpp"
#include "mcp/client/mcp_client.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/stdio_transport.hpp"
#include "support/child_process.hpp"
#include "support/raw_connection.hpp"
#include "support/scratch_desktop.hpp"
#include "support/temporary_directory.hpp"
#include "support/thread_wakeups.hpp"

namespace lumenary {
namespace {

using namespace std::chrono_literals;
using testing::answersOptions;
using testing::ChildProcess;
using testing::eventually;
using testing::fileText;
using testing::freePort;
using testing::initializeRequest;

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        ::setenv("LUMENARY_CONFIG_DIR", folder.path().c_str(), 1);
        std::ofstream(folder.path() / "defaults.json") << storedDefaults();
    }

    std::string storedDefaults() const {
        return R"({"mcp_server_port":)" + std::to_string(port) + R"(,"toolCallCount":4,"toolCallRecords":)" +
               mcp::writeJSON(mcp::Value(records)) + "}";
    }

    // Starts the program with pipes; `input` replaces the input pipe.
    std::unique_ptr<ChildProcess> launch(const std::string& errorFile, int input = -1) {
        return std::make_unique<ChildProcess>(std::vector<std::string>{testing::siblingProgram("lumenary")}, input,
                                              (folder.path() / errorFile).string());
    }

    std::string errors(const std::string& errorFile) const { return fileText(folder.path() / errorFile); }

    testing::TemporaryDirectory folder;
    std::uint16_t port = freePort();
    std::string records =
        R"([{"callCount":2,"category":"日历","firstCallTime":786829243.5,"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8",)"
        R"("lastCallTime":786829250.25,"toolName":"calendar_list"}])";
};

TEST_F(ProgramTest, ServesStdioAndHTTPAndStopsCleanlyKeepingItsState) {
    auto program = launch("service.err");
    ASSERT_TRUE(eventually([&] { return answersOptions(port); })) << errors("service.err");

    program->writeLine(initializeRequest);
    const auto initialized = program->readLine();
    ASSERT_TRUE(initialized);
    EXPECT_NE(initialized->find(R"("serverInfo":{"name":"Quillbright","version":"1.0.0"})"), std::string::npos);
    program->writeLine(R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"calendar_list"}})");
    EXPECT_EQ(program->readLine(), R"({"id":2,"jsonrpc":"2.0","result":{"content":[{"text":"Error: Tool not found: )"
                                   R"(calendar_list","type":"text"}],"isError":true}})");

    const auto reply = testing::exchange(port, testing::postRequest(initializeRequest));
    EXPECT_EQ(testing::parseResponse(reply).status, 200) << reply;
    EXPECT_TRUE(testing::parseResponse(reply).header("Mcp-Session-Id"));

    program->signal(SIGTERM);
    EXPECT_EQ(program->waitForExit(), 0);
    EXPECT_EQ(program->readAll(), "") << "standard output carries only MCP messages";
    const auto stored = mcp::parseJSON(fileText(folder.path() / "defaults.json"));
    EXPECT_EQ(*stored.find("toolCallCount"), mcp::Value(5));
    EXPECT_EQ(*stored.find("toolCallRecords"), mcp::Value(records)) << "a restart keeps the call records";
    EXPECT_NE(errors("service.err").find("listening at http://127.0.0.1:" + std::to_string(port) + "/mcp"),
              std::string::npos);
    EXPECT_FALSE(answersOptions(port));
}

TEST_F(ProgramTest, SleepsOnceIdleAfterARequest) {
    auto program = launch("idle.err");
    ASSERT_TRUE(eventually([&] { return answersOptions(port); })) << errors("idle.err");
    const auto reply = testing::exchange(port, testing::postRequest(initializeRequest));
    ASSERT_EQ(testing::parseResponse(reply).status, 200) << reply;

    // 2.5 s outlasts any timer of a second or half a second.
    std::string wakers;
    EXPECT_TRUE(testing::fallsAsleep(program->pid(), std::chrono::milliseconds(2500), std::chrono::seconds(10), &wakers))
        << "threads of the idle program keep waking: " << wakers;
    program->signal(SIGTERM);
    EXPECT_EQ(program->waitForExit(), 0);
}

TEST_F(ProgramTest, BecomesAProxyWhenAnInstanceAlreadyServes) {
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    auto instance = launch("instance.err", nothing);
    ::close(nothing);
    ASSERT_TRUE(eventually([&] { return answersOptions(port); })) << errors("instance.err");

    auto proxy = launch("proxy.err");
    proxy->writeLine(initializeRequest);
    const auto initialized = proxy->readLine();
    ASSERT_TRUE(initialized) << errors("proxy.err");
    EXPECT_NE(initialized->find("Quillbright"), std::string::npos);
    proxy->write(R"({"jsonrpc":"2.0","id":"a","method":"tools/l)");
    proxy->write("ist\"}\n");
    EXPECT_EQ(proxy->readLine(), R"({"id":"a","jsonrpc":"2.0","result":{"tools":[]}})");
    proxy->closeInput();
    EXPECT_EQ(proxy->waitForExit(), 0);
    EXPECT_TRUE(eventually([&] { return errors("instance.err").find("DELETE session") != std::string::npos; }));

    auto orphan = launch("orphan.err");
    orphan->writeLine(R"({"jsonrpc":"2.0","id":7,"method":"ping"})");
    ASSERT_TRUE(orphan->readLine());
    instance->signal(SIGTERM);
    ASSERT_EQ(instance->waitForExit(), 0);
    orphan->writeLine(R"({"jsonrpc":"2.0","id":8,"method":"ping"})");
    const auto failure = orphan->readLine();
    ASSERT_TRUE(failure);
    const auto parsed = mcp::parseJSON(*failure);
    EXPECT_EQ(*parsed.find("id"), mcp::Value(8));
    EXPECT_NE(parsed.find("error"), nullptr);
    // With its instance gone the proxy still relays until its client ends.
    orphan->closeInput();
    EXPECT_EQ(orphan->waitForExit(), 0);
    EXPECT_FALSE(errors("orphan.err").empty());
}

TEST_F(ProgramTest, KeepsServingStdioWhenThePortIsTaken) {
    asio::io_context context;
    asio::ip::tcp::acceptor taken(context, {asio::ip::make_address("127.0.0.1"), port});
    auto program = launch("taken.err");
    program->writeLine(R"({"jsonrpc":"2.0","id":1,"method":"ping"})");
    EXPECT_EQ(program->readLine(), R"({"id":1,"jsonrpc":"2.0","result":{}})");
    EXPECT_TRUE(eventually([&] { return errors("taken.err").find("could not start on port") != std::string::npos; }));
    program->signal(SIGTERM);
    EXPECT_EQ(program->waitForExit(), 0);
}

TEST_F(ProgramTest, AnswersAnIDWrittenAsAWholeDoubleUnderThatInteger) {
    auto program = launch("fraction.err");
    program->writeLine(R"({"jsonrpc":"2.0","id":7.0,"method":"ping"})");
    EXPECT_EQ(program->readLine(), R"({"id":7,"jsonrpc":"2.0","result":{}})") << errors("fraction.err");
    program->signal(SIGTERM);
    EXPECT_EQ(program->waitForExit(), 0);
}

TEST_F(ProgramTest, OurClientDrivesTheProgramOverItsPipes) {
    auto program = launch("client.err");
    asio::io_context io;
    auto transport =
        mcp::StdioTransport::create(io.get_executor(), program->outputDescriptor(), program->inputDescriptor());
    auto client = mcp::Client::create(io.get_executor(), "program-test", "1.0");
    const auto handshake = async::test::runToEnd(io, client->connect(transport));
    EXPECT_EQ(handshake.serverInfo.name, "Quillbright");
    EXPECT_EQ(handshake.capabilities.tools->listChanged, true);
    EXPECT_TRUE(async::test::runToEnd(io, client->listTools()).tools.empty());
    const auto refused = async::test::runToEnd(io, client->callTool("calendar_list"));
    EXPECT_EQ(refused.isError, true);
    EXPECT_EQ(mcp::writeJSON(mcp::encodeValue(refused.content)),
              R"([{"text":"Error: Tool not found: calendar_list","type":"text"}])");
    EXPECT_TRUE(async::test::runToEnd(io, client->listPrompts()).prompts.empty());
    async::test::runToEnd(io, client->disconnect());
}

// The calendar and reminders categories over a real folder of iCalendar
// files, switched on by the user's defaults.
class CalendarProgramTest : public ProgramTest {
protected:
    CalendarProgramTest() {
        ::setenv("LUMENARY_CALENDAR_DIR", calendars.c_str(), 1);
        ::unsetenv("LUMENARY_REMINDERS_DIR");
        std::ofstream(folder.path() / "defaults.json", std::ios::trunc)
            << R"({"mcp_server_port":)" << port << R"(,"isCalendarEnabled":true,"isRemindersEnabled":true})";
    }
    ~CalendarProgramTest() override { ::unsetenv("LUMENARY_CALENDAR_DIR"); }

    // The text of a tools/call result ("Error: ..." when it failed).
    std::string callTool(ChildProcess& program, const std::string& name, const std::string& arguments = "{}") {
        return testing::toolCallText(program, ++lastID, name, arguments);
    }

    std::filesystem::path calendars = folder.path() / "calendars";
    int lastID = 1;
};

TEST_F(CalendarProgramTest, CreatesAndListsEventsAndRemindersInTheCalendarFolder) {
    // The program's desktop: no application of the machine's own starts.
    testing::ScratchDesktop desktop;
    desktop.installHandler(false, {"text/calendar"});
    auto program = launch("calendar.err");
    program->writeLine(initializeRequest);
    ASSERT_TRUE(program->readLine()) << errors("calendar.err");

    EXPECT_TRUE(callTool(*program, "create_event",
                         R"({"title":"Dentist","startDate":"2030-01-15T09:00:00Z","endDate":"2030-01-15T10:00:00Z"})")
                    .starts_with("✅ Event created: Dentist (ID: "))
        << errors("calendar.err");
    const auto events = callTool(*program, "get_events", R"({"fromDate":"2030-01-15","toDate":"2030-01-17"})");
    EXPECT_NE(events.find(R"("startDate": "2030-01-15T09:00:00Z")"), std::string::npos) << events;
    EXPECT_NE(events.find(R"("title": "Dentist")"), std::string::npos) << events;

    EXPECT_TRUE(
        callTool(*program, "reminders_add", R"({"title":"Buy milk"})").starts_with("✅ Created reminder: Buy milk"));
    EXPECT_TRUE(callTool(*program, "reminders_fetch").starts_with("✅ Found 1 reminders:\n☐ Buy milk (List: "));
    EXPECT_EQ(callTool(*program, "reminders_open_app"), "✅ Reminders app opened.");
    EXPECT_EQ(desktop.receivedWithin(), "") << "the calendar application, started with no file";

    program->signal(SIGTERM);
    EXPECT_EQ(program->waitForExit(), 0);
    EXPECT_EQ(program->readAll(), "") << "standard output carries only MCP messages";
}

}  // namespace
}  // namespace lumenary
