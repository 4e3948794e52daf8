#include <gtest/gtest.h>

#include "app/tools/calendar/date_argument.hpp"
#include "app/tools/event_store_tools_fixture.hpp"

namespace lumenary::app {
namespace {

using platform::EventStoreAccess;
using platform::EventStoreEntity;
using platform::StoreEvent;
using testing::localTime;
using testing::secondsNow;
using testing::utcTime;

StoreEvent event(std::string identifier, std::string title, platform::StoreInstant start,
                 std::chrono::seconds length = std::chrono::hours(1)) {
    StoreEvent made;
    made.identifier = std::move(identifier);
    made.title = std::move(title);
    made.start = start;
    made.end = start + length;
    made.calendar = {"calendar-work", "Work"};
    return made;
}

// The "id" members of a JSON answer, in order.
std::vector<std::string> idsIn(const std::string& json) {
    std::vector<std::string> ids;
    const std::string key = "\"id\": \"";
    for (auto position = json.find(key); position != std::string::npos; position = json.find(key, position)) {
        position += key.size();
        ids.push_back(json.substr(position, json.find('"', position) - position));
    }
    return ids;
}

class CalendarToolsTest : public testing::EventStoreToolsTest {};

TEST_F(CalendarToolsTest, WithoutCalendarAccessEveryNameIsRefusedBeforeItIsLookedAt) {
    const std::string refusal =
        "CalendarTool 403 Calendar access denied. Lumenary needs to read and write the calendar folder "
        "/memory/calendars: make it a folder this user can read and write, or set LUMENARY_CALENDAR_DIR or the "
        "defaults key calendarDirectory to one that is.";
    for (const auto state : {EventStoreAccess::denied, EventStoreAccess::restricted, EventStoreAccess::writeOnly,
                             static_cast<EventStoreAccess>(7)}) {
        store->setAccess(EventStoreEntity::events, state);
        EXPECT_EQ(call("get_events"), refusal);
        EXPECT_EQ(callCategory(*calendar, "delete_events"), refusal);
    }
    EXPECT_EQ(store->requestCount(EventStoreEntity::events), 0);

    store->setAccess(EventStoreEntity::events, EventStoreAccess::notDetermined);
    store->setRequestAnswer(true, platform::PlatformError{"EventStore", 13, "Cannot create the folder"});
    EXPECT_EQ(call("get_events"), refusal) << "a failed request counts as a refusal";

    store->setRequestAnswer(true);
    EXPECT_EQ(call("get_events"), "[]");
    EXPECT_EQ(callCategory(*calendar, "delete_events"), "CalendarTool 404 Unknown calendar tool: delete_events");
    EXPECT_EQ(store->requestCount(EventStoreEntity::events), 2);
}

TEST_F(CalendarToolsTest, GetEventsListsTheNextSevenDaysFromNowEarliestFirstAtMostTen) {
    const auto now = secondsNow();
    store->addEvent(event("ended", "Ended", now - std::chrono::hours(2)));
    store->addEvent(event("running", "Running", now - std::chrono::minutes(30)));
    store->addEvent(event("next-week", "Too late", localTime(2100, 1, 1)));
    store->addEvent(event("in-eight-days", "Too late", now + std::chrono::days(8)));
    for (int hour = 12; hour >= 2; --hour) {
        store->addEvent(event("in-" + std::to_string(hour) + "h", "Soon", now + std::chrono::hours(hour)));
    }
    store->addEvent(event("also-in-2h", "Soon", now + std::chrono::hours(2)));

    EXPECT_EQ(idsIn(call("get_events")), (std::vector<std::string>{"running", "in-2h", "also-in-2h", "in-3h", "in-4h",
                                                                   "in-5h", "in-6h", "in-7h", "in-8h", "in-9h"}))
        << "events that start together keep the store's order";
    EXPECT_EQ(idsIn(call("get_events", {{"limit", 2}})), (std::vector<std::string>{"running", "in-2h"}));
    EXPECT_EQ(idsIn(call("get_events", {{"limit", "2"}})).size(), 10U) << "a limit given as text is no limit";
    EXPECT_EQ(call("get_events", {{"limit", 0}}), "[]");
    EXPECT_EQ(call("get_events", {{"limit", -1}}), "[]") << "a negative limit lists nothing";
    EXPECT_EQ(call("get_events", {{"fromDate", "next monday"}, {"limit", 1}}),
              "CalendarTool 400 " + invalidDateDescription("fromDate"))
        << "an unreadable start is refused, never read as now";
}

TEST_F(CalendarToolsTest, DatesAreReadAsInstantsWithAZoneOrAsLocalDays) {
    store->addEvent(event("before", "Before", localTime(2024, 1, 14, 23, 30), std::chrono::minutes(20)));
    store->addEvent(event("midnight", "Midnight", localTime(2024, 1, 15, 0, 0)));
    store->addEvent(event("at-seven-utc", "At seven", utcTime(2024, 1, 15, 7, 0)));
    store->addEvent(event("at-nine-utc", "At nine", utcTime(2024, 1, 15, 9, 0)));
    const auto window = [this](std::string from, std::string to) {
        return idsIn(call("get_events", {{"fromDate", std::move(from)}, {"toDate", std::move(to)}}));
    };
    EXPECT_EQ(window("2024-01-15", "2024-01-15T07:00:00Z"), std::vector<std::string>{"midnight"});
    EXPECT_EQ(window("2024-01-15T09:00:00+02:00", "2024-01-15T08:00:00Z"), std::vector<std::string>{"at-seven-utc"});
    EXPECT_EQ(window("2024-01-14", "2024-01-16"),
              (std::vector<std::string>{"before", "midnight", "at-seven-utc", "at-nine-utc"}));
}

TEST_F(CalendarToolsTest, EventRecordsArePrettyJSONWithEscapedSlashesAndWithoutAbsentFields) {
    auto full = event("E1", "Launch", utcTime(2024, 1, 15, 9, 0));
    full.location = "Room 4";
    full.notes = "Bring slides";
    full.url = "https://example.com/launch";
    full.isAllDay = true;
    store->addEvent(full);
    store->addEvent(event("E2", "Review", utcTime(2024, 1, 15, 10, 0)));

    EXPECT_EQ(call("get_events", {{"fromDate", "2024-01-15"}, {"toDate", "2024-01-16"}}),
              "[\n"
              "  {\n"
              "    \"calendarName\": \"Work\",\n"
              "    \"endDate\": \"2024-01-15T10:00:00Z\",\n"
              "    \"id\": \"E1\",\n"
              "    \"isAllDay\": true,\n"
              "    \"location\": \"Room 4\",\n"
              "    \"notes\": \"Bring slides\",\n"
              "    \"startDate\": \"2024-01-15T09:00:00Z\",\n"
              "    \"title\": \"Launch\",\n"
              "    \"url\": \"https:\\/\\/example.com\\/launch\"\n"
              "  },\n"
              "  {\n"
              "    \"calendarName\": \"Work\",\n"
              "    \"endDate\": \"2024-01-15T11:00:00Z\",\n"
              "    \"id\": \"E2\",\n"
              "    \"isAllDay\": false,\n"
              "    \"startDate\": \"2024-01-15T10:00:00Z\",\n"
              "    \"title\": \"Review\"\n"
              "  }\n"
              "]");
}

TEST_F(CalendarToolsTest, ARecordThatIsNotUTF8AnswersAnEmptyList) {
    store->addEvent(event("E1", "Broken \xff title", utcTime(2024, 1, 15, 9, 0)));
    EXPECT_EQ(call("get_events", {{"fromDate", "2024-01-15"}, {"toDate", "2024-01-16"}}), "[]");
}

TEST_F(CalendarToolsTest, SearchEventsMatchesTitlesIgnoringCaseOverThirtyDays) {
    const auto now = secondsNow();
    store->addEvent(event("lunch", "Team lunch", now + std::chrono::days(20)));
    auto notesOnly = event("notes", "Standup", now + std::chrono::days(1));
    notesOnly.notes = "lunch after";
    store->addEvent(notesOnly);
    store->addEvent(event("later", "Lunch with Ada", now + std::chrono::days(31)));
    store->addEvent(event("cafe", "CAFÉ MEETING", now + std::chrono::days(2)));

    EXPECT_EQ(idsIn(call("search_events", {{"searchText", "LUNCH"}})), std::vector<std::string>{"lunch"});
    EXPECT_EQ(idsIn(call("search_events", {{"searchText", "café"}})), std::vector<std::string>{"cafe"});
    EXPECT_EQ(idsIn(call("search_events", {{"searchText", "lunch"}, {"toDate", "2100-01-01"}})),
              (std::vector<std::string>{"lunch", "later"}));
    EXPECT_EQ(call("search_events", {{"searchText", "lunch"}, {"limit", -5}}), "[]");
    EXPECT_EQ(call("search_events"), "Error: Missing searchText");
    EXPECT_EQ(call("search_events", {{"searchText", 12}}), "Error: Missing searchText");
}

TEST_F(CalendarToolsTest, CreateEventRefusesWhatItCannotSaveAndSavesNothing) {
    const std::string start = "2024-01-15T09:00:00Z";
    const std::string end = "2024-01-15T10:00:00Z";
    const std::vector<std::pair<PlainDictionary, std::string>> cases{
        {{{"startDate", start}, {"endDate", end}}, "CalendarTool 400 Title is required"},
        {{{"title", " \t\u3000 "}, {"startDate", start}, {"endDate", end}}, "CalendarTool 400 Title is required"},
        {{{"title", 7}, {"startDate", start}, {"endDate", end}}, "CalendarTool 400 Title is required"},
        {{{"title", "Dentist"}, {"startDate", start}}, "CalendarTool 400 " + invalidDateDescription("endDate")},
        {{{"title", "Dentist"}, {"startDate", "next monday"}, {"endDate", end}},
         "CalendarTool 400 " + invalidDateDescription("startDate")},
        {{{"title", "Dentist"}, {"startDate", "2024-01-15T09:00:00.Z"}, {"endDate", end}},
         "CalendarTool 400 " + invalidDateDescription("startDate")},
        {{{"title", "Dentist"}, {"startDate", start}, {"endDate", "2024-02-30"}},
         "CalendarTool 400 " + invalidDateDescription("endDate")},
        {{{"title", "Dentist"}, {"startDate", start}, {"endDate", start}},
         "CalendarTool 400 End date must be after start date"},
        {{{"title", "Dentist"}, {"startDate", end}, {"endDate", "2024-01-15T11:00:00+02:00"}},
         "CalendarTool 400 End date must be after start date"},
    };
    for (const auto& [arguments, answer] : cases) {
        SCOPED_TRACE(answer);
        EXPECT_EQ(call("create_event", arguments), answer);
    }
    EXPECT_TRUE(store->savedEvents().empty());
}

TEST_F(CalendarToolsTest, CreateEventSavesTheEventInTheExactlyNamedCalendarOrTheDefaultOne) {
    store->addCalendar(EventStoreEntity::events, "cal-home", "Home");
    store->addCalendar(EventStoreEntity::events, "cal-work", "Work");
    EXPECT_EQ(call("create_event", {{"title", "Dentist"},
                                    {"startDate", "2024-01-15"},
                                    {"endDate", "2024-01-15T10:00:00+01:00"},
                                    {"location", "Main St"},
                                    {"notes", 5},
                                    {"isAllDay", true},
                                    {"calendarName", "Work"}}),
              "✅ Event created: Dentist (ID: EVENT-1)");
    call("create_event",
         {{"title", "\n"}, {"startDate", "2024-01-15"}, {"endDate", "2024-01-16"}, {"calendarName", "work"}});
    call("create_event",
         {{"title", " Gym "}, {"startDate", "2024-01-15"}, {"endDate", "2024-01-16"}, {"isAllDay", "yes"}});

    const auto saved = store->savedEvents();
    ASSERT_EQ(saved.size(), 3U);
    EXPECT_EQ(saved[0].title, "Dentist");
    EXPECT_EQ(saved[0].start, localTime(2024, 1, 15));
    EXPECT_EQ(saved[0].end, localTime(2024, 1, 15, 10));
    EXPECT_EQ(saved[0].location, "Main St");
    EXPECT_EQ(saved[0].notes, std::nullopt);
    EXPECT_TRUE(saved[0].isAllDay);
    EXPECT_EQ(saved[0].calendarIdentifier, "cal-work");
    EXPECT_EQ(saved[1].title, "\n") << "a title of line breaks is a title";
    EXPECT_EQ(saved[1].calendarIdentifier, std::nullopt) << "the name must match letter for letter";
    EXPECT_EQ(saved[2].title, " Gym ") << "the title is kept untrimmed";
    EXPECT_FALSE(saved[2].isAllDay);
}

TEST_F(CalendarToolsTest, AFailedSavePassesTheStoresErrorOnUnchanged) {
    store->failSaves({"EventStore", 28, "No space left for /memory/calendars/Work"});
    EXPECT_EQ(call("create_event", {{"title", "Dentist"}, {"startDate", "2024-01-15"}, {"endDate", "2024-01-16"}}),
              "EventStore 28 No space left for /memory/calendars/Work");
}

TEST_F(CalendarToolsTest, OpenEventHandsTheEventsFileToTheOpenerAndAnswersItsOutcome) {
    auto filed = event("UID-1", "Launch", localTime(2024, 1, 15, 14, 5, 9));
    filed.itemFile = "/memory/calendars/Work/ünï code #1.ics";
    store->addEvent(filed);
    store->addEvent(event("UID-2", "Lunch", localTime(2024, 1, 16, 12)));
    struct Case {
        std::string identifier;
        std::optional<platform::PlatformError> failure;
        std::string answer;
    };
    const std::vector<Case> cases{
        {"UID-1", std::nullopt, "✅ Event opened in Calendar"},
        {"UID-1", platform::PlatformError{"UrlOpener", 500, "xdg-open: no method available for opening 'x'"},
         "❌ Failed to open event: xdg-open: no method available for opening 'x'"},
        {"UID-2", std::nullopt, "❌ Failed to open event: the calendar store keeps the event in no file of its own"},
    };
    for (const auto& testCase : cases) {
        opener->failWith(testCase.failure);
        EXPECT_EQ(call("open_event", {{"eventId", testCase.identifier}}), testCase.answer);
    }
    EXPECT_EQ(opener->links(),
              std::vector<std::string>(2, "file:///memory/calendars/Work/%C3%BCn%C3%AF%20code%20%231.ics"));
}

TEST_F(CalendarToolsTest, OpenEventNeedsAKnownIdentifierBeforeAnythingOpens) {
    EXPECT_EQ(call("open_event"), "CalendarTool 400 Missing eventId");
    EXPECT_EQ(call("open_event", {{"eventId", 12}}), "CalendarTool 400 Missing eventId");
    EXPECT_EQ(call("open_event", {{"eventId", "nobody-knows"}}), "❌ Event not found");
    EXPECT_TRUE(opener->links().empty());
}

}  // namespace
}  // namespace lumenary::app
