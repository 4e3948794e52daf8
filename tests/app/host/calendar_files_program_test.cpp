// The calendar and reminders categories in the real program over a folder
// that holds, beside ordinary items, files no calendar program writes: the
// calls answer with the ordinary items and the program lives on.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/host/program_test_support.hpp"
#include "support/child_process.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

using namespace std::chrono_literals;

std::string repeated(const std::string& text, int count) {
    std::string result;
    for (int index = 0; index < count; ++index) result += text;
    return result;
}

std::string eventLines(const std::string& uid, const std::string& summary) {
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nSUMMARY:" + summary +
           "\r\nDTSTART:20300115T090000Z\r\nDURATION:PT1H\r\nEND:VEVENT\r\n";
}

std::string calendar(const std::string& inside) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//Test//EN\r\n" + inside + "END:VCALENDAR\r\n";
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class CalendarFilesProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        environment.set("LUMENARY_CONFIG_DIR", folder.path().string());
        environment.set("LUMENARY_CALENDAR_DIR", calendars.string());
        environment.set("LUMENARY_REMINDERS_DIR", std::nullopt);
        std::ofstream(folder.path() / "defaults.json")
            << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isCalendarEnabled":true,"isRemindersEnabled":true})";
    }

    std::string errors() const { return testing::fileText(folder.path() / "calendar.err"); }

    testing::TemporaryDirectory folder;
    testing::ScopedEnvironment environment;
    std::filesystem::path calendars = folder.path() / "calendars";
};

TEST_F(CalendarFilesProgramTest, FilesBeyondReadingAndAPipedNameLeaveTheOtherItemsListedAndTheProgramServing) {
    writeFile(calendars / "home" / "ordinary.ics", calendar(eventLines("ordinary", "Ordinary")));
    writeFile(calendars / "home" / "errand.ics",
              calendar("BEGIN:VTODO\r\nUID:errand\r\nSUMMARY:Errand\r\nSTATUS:NEEDS-ACTION\r\nEND:VTODO\r\n"));
    writeFile(calendars / "home" / "nested-calendars.ics",
              repeated("BEGIN:VCALENDAR\r\n", 300) + eventLines("nested", "Nested") + repeated("END:VCALENDAR\r\n", 300));
    writeFile(calendars / "home" / "deep-events.ics",
              calendar(repeated(eventLines("deep", "Deep").substr(0, 14), 300) + eventLines("deep", "Deep") +
                       repeated("END:VEVENT\r\n", 300)));
    writeFile(calendars / "piped" / "item.ics", calendar(eventLines("piped", "Piped")));
    ASSERT_EQ(::mkfifo((calendars / "piped" / "displayname").c_str(), 0600), 0);

    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "calendar.err").string());
    program.writeLine(testing::initializeRequest);
    ASSERT_TRUE(program.readLine()) << errors();

    const auto events =
        testing::toolCallText(program, 2, "get_events", R"({"fromDate":"2030-01-15","toDate":"2030-01-16"})", 30s);
    EXPECT_NE(events.find(R"("title": "Ordinary")"), std::string::npos) << events;
    EXPECT_NE(events.find(R"("calendarName": "piped")"), std::string::npos) << events;
    EXPECT_EQ(events.find("Nested"), std::string::npos) << events;
    EXPECT_EQ(events.find("Deep"), std::string::npos) << events;
    // The console reaches the file through the program's own writer, a
    // little after the answer.
    for (const char* file : {"nested-calendars.ics", "deep-events.ics"}) {
        const std::string line = "Skipped " + (calendars / "home" / file).string() + ": its components nest too deep";
        EXPECT_TRUE(testing::eventually([&] { return errors().find(line) != std::string::npos; }, 30s))
            << line << "\n" << errors();
    }

    EXPECT_TRUE(testing::toolCallText(program, 3, "reminders_fetch", "{}", 30s)
                    .starts_with("✅ Found 1 reminders:\n☐ Errand (List: home)"));
    EXPECT_NE(testing::toolCallText(program, 4, "search_events",
                                    R"({"searchText":"piped","fromDate":"2030-01-15","toDate":"2030-01-16"})", 30s)
                  .find(R"("title": "Piped")"),
              std::string::npos);

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0) << errors();
}

}  // namespace
}  // namespace lumenary
