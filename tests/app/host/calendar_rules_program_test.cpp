// The real program over a calendar folder that holds, beside ordinary
// events, an event whose repeat rule can never hold and a time zone whose
// observance rule never does: libical used to step through such rules
// without end inside one call, holding every calendar call behind it.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>

#include "app/host/program_test_support.hpp"
#include "support/child_process.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

using testing::ChildProcess;
using testing::fileText;
using testing::initializeRequest;

// Long enough for a sanitizer build; before, the first call never answered.
constexpr std::chrono::seconds calendarRulesCallDeadline{20};

void writeCalendarItem(const std::filesystem::path& path, const std::string& body) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//Test//EN\r\n" << body
                                          << "END:VCALENDAR\r\n";
}

class CalendarRulesProgramTest : public ::testing::Test {
protected:
    CalendarRulesProgramTest() {
        ::setenv("LUMENARY_CONFIG_DIR", folder.path().c_str(), 1);
        ::setenv("LUMENARY_CALENDAR_DIR", calendars.c_str(), 1);
        ::unsetenv("LUMENARY_REMINDERS_DIR");
        std::ofstream(folder.path() / "defaults.json")
            << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isCalendarEnabled":true})";
    }
    ~CalendarRulesProgramTest() override { ::unsetenv("LUMENARY_CALENDAR_DIR"); }

    std::string callTool(ChildProcess& program, const std::string& arguments) {
        return testing::toolCallText(program, ++lastID, "get_events", arguments, calendarRulesCallDeadline);
    }

    lumenary::testing::TemporaryDirectory folder;
    std::filesystem::path calendars = folder.path() / "calendars";
    int lastID = 1;
};

TEST_F(CalendarRulesProgramTest, RulesThatNeverHoldAnswerWithTheOtherEventsAndLeaveTheProgramServing) {
    const auto c1 = calendars / "c1";
    writeCalendarItem(c1 / "plain.ics", "BEGIN:VEVENT\r\nUID:plain\r\nSUMMARY:Plain\r\nDTSTART:20300115T090000Z\r\n"
                                        "DURATION:PT1H\r\nEND:VEVENT\r\n");
    writeCalendarItem(c1 / "impossible.ics",
                      "BEGIN:VEVENT\r\nUID:never-on-30-february\r\nSUMMARY:Impossible\r\nDTSTART:20300114T080000Z\r\n"
                      "DURATION:PT1H\r\nRRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30\r\nEND:VEVENT\r\n");
    writeCalendarItem(c1 / "zone.ics",
                      "BEGIN:VTIMEZONE\r\nTZID:Never\r\nBEGIN:STANDARD\r\nDTSTART:00010101T000000\r\n"
                      "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nRRULE:FREQ=MONTHLY;BYMONTHDAY=31;BYMONTH=2\r\n"
                      "END:STANDARD\r\nEND:VTIMEZONE\r\nBEGIN:VEVENT\r\nUID:zoned\r\nSUMMARY:Zoned\r\n"
                      "DTSTART;TZID=Never:20300116T100000\r\nDURATION:PT1H\r\nRRULE:FREQ=YEARLY\r\nEND:VEVENT\r\n");
    auto program = std::make_unique<ChildProcess>(std::vector<std::string>{testing::siblingProgram("lumenary")}, -1,
                                                  (folder.path() / "rules.err").string());
    program->writeLine(initializeRequest);
    ASSERT_TRUE(program->readLine()) << fileText(folder.path() / "rules.err");

    const std::string events = callTool(*program, R"({"fromDate":"0001-01-01","toDate":"9999-12-31","limit":50})");
    EXPECT_NE(events.find(R"("startDate": "2030-01-14T08:00:00Z")"), std::string::npos) << events;
    EXPECT_NE(events.find(R"("startDate": "2030-01-15T09:00:00Z")"), std::string::npos) << events;
    EXPECT_NE(events.find(R"("startDate": "2030-01-16T08:00:00Z")"), std::string::npos) << events;
    EXPECT_EQ(events.find(R"("startDate": "2030-02-)"), std::string::npos) << events;
    // The console line is written beside the answer, not before it.
    const std::string line =
        "impossible.ics: the repeat rule of the event \"never-on-30-february\" was read as its first occurrence alone";
    EXPECT_TRUE(testing::eventually([&] { return fileText(folder.path() / "rules.err").find(line) != std::string::npos; }))
        << fileText(folder.path() / "rules.err");

    // Nothing of the first call is left working: the next one is served.
    const std::string again = callTool(*program, R"({"fromDate":"2030-01-15","toDate":"2030-01-16"})");
    EXPECT_NE(again.find(R"("title": "Plain")"), std::string::npos) << again;

    program->signal(SIGTERM);
    EXPECT_EQ(program->waitForExit(), 0);
}

}  // namespace
}  // namespace lumenary
