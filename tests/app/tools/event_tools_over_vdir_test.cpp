#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <asio/io_context.hpp>

#include "app/tools/calendar/calendar_tool_handler.hpp"
#include "app/tools/local_tool_service.hpp"
#include "app/tools/reminders/reminders_tool_handler.hpp"
#include "app/tools/tool_outcome_text.hpp"
#include "platform/applications/application_launcher.hpp"
#include "platform/applications/url_opener.hpp"
#include "platform/calendar/vdir_event_store.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/recording_application_launcher.hpp"
#include "support/recording_url_opener.hpp"
#include "support/scoped_time_zone.hpp"
#include "support/scratch_desktop.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::app {
namespace {

// The calendar and reminders tools over a vdir store in a folder of the
// test's own, in Europe/Berlin, called as an assistant calls them.
class EventToolsOverVdirTest : public ::testing::Test {
protected:
    EventToolsOverVdirTest() {
        std::filesystem::create_directories(calendars() / "personal");
        std::filesystem::create_directories(reminders() / "tasks");
        ToolCategories categories;
        categories[static_cast<std::size_t>(ToolCategoryKind::calendar)] =
            std::make_shared<CalendarToolHandler>(std::make_shared<CalendarManager>(store), opener);
        categories[static_cast<std::size_t>(ToolCategoryKind::reminders)] =
            std::make_shared<RemindersToolHandler>(std::make_shared<EventKitService>(store, console),
                                                   std::make_shared<lumenary::testing::RecordingApplicationLauncher>());
        service = std::make_shared<LocalToolService>(io.get_executor(), defaults, categories);
        service->setCalendarEnabled(true);
        service->setRemindersEnabled(true);
    }

    std::filesystem::path calendars() const { return folder.path() / "calendars"; }
    std::filesystem::path reminders() const { return folder.path() / "reminders"; }

    std::string call(std::string name, PlainDictionary arguments) {
        return testing::toolOutcomeText(io, service->callTool(std::move(name), std::move(arguments)));
    }

    void writeEvent(const std::string& uid, const std::string& title, const std::string& startUTC) {
        std::ofstream(calendars() / "personal" / (uid + ".ics"), std::ios::binary)
            << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//Test//EN\r\nBEGIN:VEVENT\r\nUID:" << uid
            << "\r\nDTSTAMP:20260101T000000Z\r\nSUMMARY:" << title << "\r\nDTSTART:" << startUTC
            << "\r\nDURATION:PT1H\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    }

    lumenary::testing::ScopedTimeZone zone{"Europe/Berlin"};
    lumenary::testing::TemporaryDirectory folder;
    std::shared_ptr<lumenary::testing::RecordingUrlOpener> opener =
        std::make_shared<lumenary::testing::RecordingUrlOpener>();
    std::shared_ptr<platform::EventStore> store = std::make_shared<platform::VdirEventStore>(
        platform::VdirEventStoreSettings{.calendarFolder = calendars(),
                                         .reminderFolder = reminders(),
                                         .defaultCalendarTitle = std::nullopt,
                                         .defaultReminderListTitle = std::nullopt},
        [](const std::filesystem::path&) { return true; }, [](const std::string&) {});
    logging::Console console{"", [](std::string) {}};
    asio::io_context io;
    platform::MemoryDefaultsStore defaults;
    std::shared_ptr<LocalToolService> service;
};

// "yyyy-MM-dd" of the local day `days` after today.
std::string localDayText(int days) {
    const std::time_t later = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()) + days * 86400;
    std::tm wallClock{};
    localtime_r(&later, &wallClock);
    std::array<char, 16> text{};
    return std::string(text.data(), std::strftime(text.data(), text.size(), "%Y-%m-%d", &wallClock));
}

// "yyyyMMdd" of a "yyyy-MM-dd".
std::string compactDay(const std::string& day) {
    return day.substr(0, 4) + day.substr(5, 2) + day.substr(8, 2);
}

std::string utcText(std::chrono::system_clock::time_point instant) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(instant);
    std::tm wallClock{};
    gmtime_r(&seconds, &wallClock);
    std::array<char, 32> text{};
    return std::string(text.data(), std::strftime(text.data(), text.size(), "%Y%m%dT%H%M%SZ", &wallClock));
}

TEST_F(EventToolsOverVdirTest, DatesWithFractionsOffsetsOrNoZoneReachTheFolders) {
    writeEvent("dentist", "Dentist", "20300115T090000Z");
    writeEvent("soon", "Soon", utcText(std::chrono::system_clock::now() + std::chrono::hours(1)));
    const std::string dayAfterTomorrow = localDayText(2);
    // A floating time: nine in the morning wherever the reader is.
    writeEvent("later", "Later", compactDay(dayAfterTomorrow) + "T090000");
    struct Case {
        std::string tool;
        PlainDictionary arguments;
        // What then answers with the date; the call itself when empty.
        std::string thenTool;
        std::string expected;
        std::string absent = "\"title\": \"Soon\"";
    };
    const std::vector<Case> cases{
        {"search_events",
         {{"searchText", "Dentist"}, {"fromDate", "2030-01-01T00:00:00.000Z"}, {"toDate", "2030-02-01T00:00:00.000Z"}},
         "",
         "\"title\": \"Dentist\""},
        {"search_events",
         {{"searchText", "Dentist"}, {"fromDate", "2030-01-15T11:30:00+0100"}, {"toDate", "2030-02-01"}},
         "",
         "[]"},
        {"get_events", {{"fromDate", dayAfterTomorrow + "T00:00:00"}}, "", "\"title\": \"Later\""},
        {"create_event",
         {{"title", "Review"}, {"startDate", "2026-12-18T09:00:00"}, {"endDate", "2026-12-18T10:00:00"}},
         "",
         "✅ Event created: Review"},
        {"reminders_add",
         {{"title", "Pay rent"}, {"dueDate", "2030-01-20T09:00:00.000Z"}},
         "reminders_fetch",
         "Pay rent (List: tasks, Due: 2030-01-20 10:00)"},
        {"reminders_add",
         {{"title", "Call home"}, {"dueDate", "2026-12-10T18:00:00"}},
         "reminders_fetch",
         "Call home (List: tasks, Due: 2026-12-10 18:00)"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.tool + " " + testCase.expected);
        auto answer = call(testCase.tool, testCase.arguments);
        if (!testCase.thenTool.empty()) {
            answer = call(testCase.thenTool, {});
        }
        EXPECT_NE(answer.find(testCase.expected), std::string::npos) << answer;
        EXPECT_EQ(answer.find(testCase.absent), std::string::npos) << answer;
    }
    EXPECT_NE(call("get_events", {{"fromDate", "2026-12-18"}, {"toDate", "2026-12-19"}})
                  .find("\"startDate\": \"2026-12-18T08:00:00Z\""),
              std::string::npos)
        << "a local start time is kept as the person meant it";
}

// The "startDate" values of a get_events answer, in order.
std::vector<std::string> startDatesIn(const std::string& answer) {
    static const std::regex startDate("\"startDate\": \"([^\"]+)\"");
    std::vector<std::string> starts;
    for (auto match = std::sregex_iterator(answer.begin(), answer.end(), startDate); match != std::sregex_iterator();
         ++match) {
        starts.push_back((*match)[1]);
    }
    return starts;
}

TEST_F(EventToolsOverVdirTest, GetEventsHoldsARepeatRuleToInstantsAcrossAClockChange) {
    struct Case {
        std::string name;
        std::string start;
        std::string rule;
        PlainDictionary arguments;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"New York: 02:30 on 8 March is after UNTIL", "DTSTART;TZID=America/New_York:20260306T023000",
         "RRULE:FREQ=DAILY;UNTIL=20260308T071500Z",
         {{"fromDate", "2026-03-01T00:00:00Z"}, {"toDate", "2026-03-20T00:00:00Z"}},
         {"2026-03-06T07:30:00Z", "2026-03-07T07:30:00Z"}},
        {"Chatham: the first 03:00 of 5 April is before UNTIL", "DTSTART;TZID=Pacific/Chatham:20260403T030000",
         "RRULE:FREQ=DAILY;UNTIL=20260404T141000Z",
         {{"fromDate", "2026-04-01T00:00:00Z"}, {"toDate", "2026-04-20T00:00:00Z"}},
         {"2026-04-02T13:15:00Z", "2026-04-03T13:15:00Z", "2026-04-04T13:15:00Z"}},
        {"Berlin: the range ends at an instant", "DTSTART;TZID=Europe/Berlin:20260329T005000",
         "RRULE:FREQ=MINUTELY;INTERVAL=40;COUNT=8",
         {{"fromDate", "2026-03-29T00:00:00Z"}, {"toDate", "2026-03-29T01:40:00Z"}},
         {"2026-03-29T00:30:00Z", "2026-03-29T01:10:00Z", "2026-03-29T01:30:00Z"}},
        {"New York: the limit takes the earliest", "DTSTART;TZID=America/New_York:20260308T005000",
         "RRULE:FREQ=MINUTELY;INTERVAL=40;COUNT=8",
         {{"fromDate", "2026-03-08T07:00:00Z"}, {"toDate", "2026-03-09T00:00:00Z"}, {"limit", 2}},
         {"2026-03-08T07:10:00Z", "2026-03-08T07:30:00Z"}},
        {"Lord Howe: the limit takes the earliest", "DTSTART;TZID=Australia/Lord_Howe:20261004T013000",
         "RRULE:FREQ=MINUTELY;INTERVAL=20;COUNT=6",
         {{"fromDate", "2026-10-03T15:10:00Z"}, {"toDate", "2026-10-04T00:00:00Z"}, {"limit", 2}},
         {"2026-10-03T15:20:00Z", "2026-10-03T15:30:00Z"}},
        {"Santiago: a range from just after midnight is skipped", "DTSTART;TZID=America/Santiago:20260905T223000",
         "RRULE:FREQ=HOURLY;INTERVAL=2;COUNT=4",
         {{"fromDate", "2026-09-06T04:05:00Z"}, {"toDate", "2026-09-07T00:00:00Z"}},
         {"2026-09-06T04:30:00Z", "2026-09-06T05:30:00Z", "2026-09-06T07:30:00Z"}},
    };
    for (const auto& testCase : cases) {
        std::ofstream(calendars() / "personal" / "tick.ics", std::ios::binary)
            << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//Test//EN\r\nBEGIN:VEVENT\r\nUID:tick\r\n"
               "DTSTAMP:20260101T000000Z\r\nSUMMARY:Tick\r\n"
            << testCase.start << "\r\n" << testCase.rule << "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
        EXPECT_EQ(startDatesIn(call("get_events", testCase.arguments)), testCase.expected) << testCase.name;
    }
}

TEST_F(EventToolsOverVdirTest, ADateGivenThatDoesNotReadIsRefusedByNameAndNothingIsWritten) {
    const std::string forms =
        " takes 2026-12-18 (local midnight), 2026-12-18T09:00:00 (local time), or a date and time followed by Z or an "
        "offset such as +01:00 or +0100 (2026-12-18T09:00:00.000Z); seconds and their fraction may be left out.";
    const std::vector<std::pair<std::pair<std::string, PlainDictionary>, std::string>> cases{
        {{"get_events", {{"fromDate", "2026-12-09T00:00:00+1"}}},
         "CalendarTool 400 Invalid date format. Use ISO8601. fromDate" + forms},
        {{"search_events", {{"searchText", "Dentist"}, {"toDate", "next week"}}},
         "CalendarTool 400 Invalid date format. Use ISO8601. toDate" + forms},
        {{"create_event", {{"title", "Review"}, {"startDate", "2026-12-18T09:00:00"}, {"endDate", "2026-12-18T25:00"}}},
         "CalendarTool 400 Invalid date format. Use ISO8601. endDate" + forms},
        {{"reminders_add", {{"title", "Pay rent"}, {"dueDate", "2030-01-20T09:00:00.000 Z"}}},
         "LocalTool 400 Invalid date format. Use ISO8601. dueDate" + forms},
        {{"reminders_fetch", {{"dueBefore", "tomorrow"}}},
         "LocalTool 400 Invalid date format. Use ISO8601. dueBefore" + forms},
    };
    for (const auto& [request, expected] : cases) {
        EXPECT_EQ(call(request.first, request.second), expected);
    }
    EXPECT_TRUE(std::filesystem::is_empty(calendars() / "personal"));
    EXPECT_TRUE(std::filesystem::is_empty(reminders() / "tasks"));
}

TEST_F(EventToolsOverVdirTest, AnUnusableRemindersFolderIsNamedWithTheSettingThatChoosesAnother) {
    std::filesystem::remove_all(reminders());
    std::ofstream(reminders()) << "not a folder";
    EXPECT_EQ(call("reminders_get_lists", {}),
              "LocalTool 500 Failed to get reminder lists: Reminders access denied. Lumenary needs to read and write "
              "the reminders folder " +
                  reminders().string() +
                  ": make it a folder this user can read and write, or set LUMENARY_REMINDERS_DIR or the defaults key "
                  "remindersDirectory to one that is.");
}

// The desktop's own choice, as a person's desktop makes it: xdg-open hands
// the event's file to the default application for calendar files, whichever
// way it reads the file's type, and the same application is started for
// reminders through its desktop entry.
class EventToolsOnADesktopTest : public EventToolsOverVdirTest,
                                 public ::testing::WithParamInterface<lumenary::testing::FileTypeReader> {};

TEST_P(EventToolsOnADesktopTest, TheDefaultCalendarApplicationShowsTheEventAndStartsForReminders) {
    if (auto missing = lumenary::testing::ScratchDesktop::unavailable(GetParam())) GTEST_SKIP() << *missing;
    lumenary::testing::ScratchDesktop desktop(GetParam());
    writeEvent("été 1", "Launch", "20260115T130000Z");
    CalendarToolHandler calendar(std::make_shared<CalendarManager>(store), std::make_shared<platform::XdgUrlOpener>());
    RemindersToolHandler reminders(std::make_shared<EventKitService>(store, console),
                                   std::make_shared<platform::GioApplicationLauncher>());

    EXPECT_EQ(testing::toolOutcomeText(io, calendar.handle("open_event", {{"eventId", "été 1"}}))
                  .rfind("❌ Failed to open event: xdg-open: no method available for opening", 0),
              0U);
    EXPECT_EQ(testing::toolOutcomeText(io, reminders.handle("reminders_open_app", {}))
                  .rfind("LocalTool 500 No application is set to open calendar files", 0),
              0U);

    desktop.installHandler(false, {"text/calendar"});
    EXPECT_EQ(testing::toolOutcomeText(io, calendar.handle("open_event", {{"eventId", "été 1"}})),
              "✅ Event opened in Calendar");
    EXPECT_EQ(desktop.receivedArgument(), (calendars() / "personal" / "été 1.ics").string());
    desktop.forgetReceived();
    EXPECT_EQ(testing::toolOutcomeText(io, reminders.handle("reminders_open_app", {})), "✅ Reminders app opened.");
    EXPECT_EQ(desktop.receivedWithin(), "") << "started with no file";
}

INSTANTIATE_TEST_SUITE_P(, EventToolsOnADesktopTest, lumenary::testing::everyFileTypeReader(),
                         ::testing::PrintToStringParamName());

}  // namespace
}  // namespace lumenary::app
