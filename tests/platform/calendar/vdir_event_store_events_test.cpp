#include <gtest/gtest.h>

#include <regex>

#include "vdir_fixture.hpp"

namespace lumenary::platform {
namespace {

using testing::answeredWithin;
using testing::calendarText;
using testing::filesIn;
using testing::readFile;
using testing::ScopedTimeZone;
using testing::utc;
using testing::utcText;
using testing::VdirFixture;

// Each occurrence as "start/end title", the way the cases below spell them.
std::vector<std::string> occurrenceTexts(const std::vector<StoreEvent>& events) {
    std::vector<std::string> texts;
    for (const StoreEvent& event : events) {
        texts.push_back(utcText(event.start) + "/" + utcText(event.end) + " " + event.title + (event.isAllDay ? " (all day)" : ""));
    }
    return texts;
}

NewStoreEvent newEvent(std::string title, std::string start, std::string end, bool isAllDay,
                       std::optional<std::string> location = std::nullopt, std::optional<std::string> notes = std::nullopt) {
    NewStoreEvent event;
    event.title = std::move(title);
    event.start = utc(start);
    event.end = utc(end);
    event.isAllDay = isAllDay;
    event.location = std::move(location);
    event.notes = std::move(notes);
    return event;
}

TEST(VdirEventStoreEvents, SavedEventsReadBackAsTheyWereWritten) {
    struct Case {
        std::string name;
        NewStoreEvent event;
        std::string expectedStart;
        std::string expectedEnd;
        std::vector<std::string> fileLines;
    };
    const std::vector<Case> cases = {
        {"timed, in UTC",
         newEvent("Dentist", "2024-01-15T09:00:00Z", "2024-01-15T10:00:00Z", false, "Main Street 1",
                  "Bring the card;\nand a book, too"),
         "2024-01-15T09:00:00Z", "2024-01-15T10:00:00Z",
         {"DTSTART:20240115T090000Z", "DTEND:20240115T100000Z", "LOCATION:Main Street 1"}},
        {"all day, one day from local midnights",
         newEvent("Holiday", "2024-07-01T22:00:00Z", "2024-07-02T22:00:00Z", true),
         "2024-07-01T22:00:00Z", "2024-07-02T22:00:00Z",
         {"DTSTART;VALUE=DATE:20240702", "DTEND;VALUE=DATE:20240703"}},
        {"all day over three days from times inside them",
         newEvent("Trip", "2024-07-02T08:00:00Z", "2024-07-04T15:00:00Z", true),
         "2024-07-01T22:00:00Z", "2024-07-04T22:00:00Z",
         {"DTSTART;VALUE=DATE:20240702", "DTEND;VALUE=DATE:20240705"}},
    };
    const ScopedTimeZone zone("Europe/Berlin");
    for (const Case& c : cases) {
        VdirFixture fixture;
        const auto saved = fixture.store().saveEvent(c.event);
        ASSERT_TRUE(saved) << c.name << ": " << saved.error().description;
        EXPECT_TRUE(std::regex_match(saved.value().identifier, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
            << saved.value().identifier;
        EXPECT_EQ(utcText(saved.value().start), c.expectedStart) << c.name;
        EXPECT_EQ(utcText(saved.value().end), c.expectedEnd) << c.name;

        const auto files = filesIn(fixture.calendars() / "Calendar");
        ASSERT_EQ(files.size(), 1u) << c.name;
        EXPECT_EQ(files[0].filename().string(), saved.value().identifier + ".ics");
        const std::string text = readFile(files[0]);
        for (const std::string& line : c.fileLines) {
            EXPECT_NE(text.find(line + "\r\n"), std::string::npos) << c.name << ": no " << line << " in\n" << text;
        }

        const auto listed = fixture.store().events(utc("2024-01-01T00:00:00Z"), utc("2025-01-01T00:00:00Z"));
        ASSERT_TRUE(listed) << c.name;
        ASSERT_EQ(listed.value().size(), 1u) << c.name;
        const StoreEvent& read = listed.value()[0];
        EXPECT_EQ(read.identifier, saved.value().identifier);
        EXPECT_EQ(read.title, c.event.title);
        EXPECT_EQ(read.location, c.event.location);
        EXPECT_EQ(read.notes, c.event.notes);
        EXPECT_EQ(utcText(read.start), c.expectedStart) << c.name;
        EXPECT_EQ(utcText(read.end), c.expectedEnd) << c.name;
        EXPECT_EQ(read.isAllDay, c.event.isAllDay) << c.name;
        EXPECT_EQ(read.calendar.identifier, "Calendar");

        const auto found = fixture.store().event(saved.value().identifier);
        ASSERT_TRUE(found && found.value()) << c.name;
        EXPECT_EQ(utcText(found.value()->start), c.expectedStart) << c.name;
    }
}

TEST(VdirEventStoreEvents, ExpandsEachEventIntoItsOccurrencesInTheRange) {
    struct Case {
        std::string name;
        std::string timeZone;
        std::string text;
        std::string from;
        std::string to;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"weekly in a named zone keeps its wall-clock time across that zone's change, whatever TZ is",
         "America/New_York",
         calendarText({"BEGIN:VEVENT", "UID:w", "SUMMARY:Standup", "DTSTART;TZID=Europe/Berlin:20240318T090000",
                       "DTEND;TZID=Europe/Berlin:20240318T093000", "RRULE:FREQ=WEEKLY", "END:VEVENT"}),
         "2024-03-20T00:00:00Z", "2024-04-09T00:00:00Z",
         {"2024-03-25T08:00:00Z/2024-03-25T08:30:00Z Standup", "2024-04-01T07:00:00Z/2024-04-01T07:30:00Z Standup",
          "2024-04-08T07:00:00Z/2024-04-08T07:30:00Z Standup"}},
        {"weekly floating follows the user's clock across the user's change",
         "America/New_York",
         calendarText({"BEGIN:VEVENT", "UID:f", "SUMMARY:Gym", "DTSTART:20240301T090000", "DURATION:PT1H",
                       "RRULE:FREQ=WEEKLY;COUNT=3", "END:VEVENT"}),
         "2024-01-01T00:00:00Z", "2025-01-01T00:00:00Z",
         {"2024-03-01T14:00:00Z/2024-03-01T15:00:00Z Gym", "2024-03-08T14:00:00Z/2024-03-08T15:00:00Z Gym",
          "2024-03-15T13:00:00Z/2024-03-15T14:00:00Z Gym"}},
        {"a series begun years before the range lands on its own days and times",
         "UTC",
         calendarText({"BEGIN:VEVENT", "UID:old", "SUMMARY:Choir", "DTSTART;TZID=America/New_York:20150105T180000",
                       "DTEND;TZID=America/New_York:20150105T190000", "RRULE:FREQ=WEEKLY;BYDAY=MO,TH", "END:VEVENT"}),
         "2024-03-07T00:00:00Z", "2024-03-15T00:00:00Z",
         {"2024-03-07T23:00:00Z/2024-03-08T00:00:00Z Choir", "2024-03-11T22:00:00Z/2024-03-11T23:00:00Z Choir",
          "2024-03-14T22:00:00Z/2024-03-14T23:00:00Z Choir"}},
        {"a yearly all-day series from decades ago",
         "UTC",
         calendarText({"BEGIN:VEVENT", "UID:y", "SUMMARY:Anniversary", "DTSTART;VALUE=DATE:19900215",
                       "RRULE:FREQ=YEARLY", "END:VEVENT"}),
         "2024-02-01T00:00:00Z", "2024-03-01T00:00:00Z",
         {"2024-02-15T00:00:00Z/2024-02-16T00:00:00Z Anniversary (all day)"}},
        {"an hourly series keeps its step from its start",
         "UTC",
         calendarText({"BEGIN:VEVENT", "UID:h", "SUMMARY:Check", "DTSTART:20230101T000000Z", "DURATION:PT1H",
                       "RRULE:FREQ=HOURLY;INTERVAL=7", "END:VEVENT"}),
         "2024-01-01T00:00:00Z", "2024-01-02T00:00:00Z",
         {"2024-01-01T04:00:00Z/2024-01-01T05:00:00Z Check", "2024-01-01T11:00:00Z/2024-01-01T12:00:00Z Check",
          "2024-01-01T18:00:00Z/2024-01-01T19:00:00Z Check"}},
        {"an occurrence of a long series that began before the range reaches into it",
         "UTC",
         calendarText({"BEGIN:VEVENT", "UID:l", "SUMMARY:Conference", "DTSTART:20240101T120000Z",
                       "DTEND:20240104T120000Z", "RRULE:FREQ=WEEKLY", "END:VEVENT"}),
         "2024-01-16T00:00:00Z", "2024-01-17T00:00:00Z",
         {"2024-01-15T12:00:00Z/2024-01-18T12:00:00Z Conference"}},
        {"EXDATE leaves an occurrence out and RDATE adds one",
         "UTC",
         calendarText({"BEGIN:VEVENT", "UID:x", "SUMMARY:Class", "DTSTART:20240102T100000Z", "DTEND:20240102T110000Z",
                       "RRULE:FREQ=DAILY;UNTIL=20240104T100000Z", "EXDATE:20240103T100000Z", "RDATE:20240110T150000Z",
                       "END:VEVENT"}),
         "2024-01-01T00:00:00Z", "2024-02-01T00:00:00Z",
         {"2024-01-02T10:00:00Z/2024-01-02T11:00:00Z Class", "2024-01-04T10:00:00Z/2024-01-04T11:00:00Z Class",
          "2024-01-10T15:00:00Z/2024-01-10T16:00:00Z Class"}},
        {"a moved occurrence appears at its new time with its own title, not at its old one",
         "UTC",
         calendarText({"BEGIN:VEVENT", "UID:m", "SUMMARY:Review", "DTSTART:20240105T100000Z", "DTEND:20240105T110000Z",
                       "RRULE:FREQ=WEEKLY;COUNT=3", "END:VEVENT", "BEGIN:VEVENT", "UID:m", "SUMMARY:Review (moved)",
                       "RECURRENCE-ID:20240112T100000Z", "DTSTART:20240113T140000Z", "DTEND:20240113T150000Z",
                       "END:VEVENT"}),
         "2024-01-01T00:00:00Z", "2024-02-01T00:00:00Z",
         {"2024-01-05T10:00:00Z/2024-01-05T11:00:00Z Review", "2024-01-13T14:00:00Z/2024-01-13T15:00:00Z Review (moved)",
          "2024-01-19T10:00:00Z/2024-01-19T11:00:00Z Review"}},
        {"an occurrence moved into the range from outside it is listed",
         "UTC",
         calendarText({"BEGIN:VEVENT", "UID:m", "SUMMARY:Review", "DTSTART:20240105T100000Z", "DTEND:20240105T110000Z",
                       "RRULE:FREQ=WEEKLY;COUNT=3", "END:VEVENT", "BEGIN:VEVENT", "UID:m", "SUMMARY:Early",
                       "RECURRENCE-ID:20240112T100000Z", "DTSTART:20240103T080000Z", "DTEND:20240103T090000Z",
                       "END:VEVENT"}),
         "2024-01-03T00:00:00Z", "2024-01-04T00:00:00Z",
         {"2024-01-03T08:00:00Z/2024-01-03T09:00:00Z Early"}},
        {"all-day dates last whole local days; a missing DTEND is one day",
         "Europe/Berlin",
         calendarText({"BEGIN:VEVENT", "UID:a", "SUMMARY:Birthday", "DTSTART;VALUE=DATE:20240330", "RRULE:FREQ=DAILY;COUNT=2",
                       "END:VEVENT"}),
         "2024-01-01T00:00:00Z", "2025-01-01T00:00:00Z",
         {"2024-03-29T23:00:00Z/2024-03-30T23:00:00Z Birthday (all day)",
          "2024-03-30T23:00:00Z/2024-03-31T22:00:00Z Birthday (all day)"}},
        {"a date-time without DTEND or DURATION takes no time and is listed where it starts",
         "UTC",
         calendarText({"BEGIN:VEVENT", "UID:p", "SUMMARY:Ping", "DTSTART:20240110T120000Z", "END:VEVENT"}),
         "2024-01-10T12:00:00Z", "2024-01-10T12:00:01Z",
         {"2024-01-10T12:00:00Z/2024-01-10T12:00:00Z Ping"}},
        {"an event that began before the range and ends in it overlaps it",
         "UTC",
         calendarText({"BEGIN:VEVENT", "UID:o", "SUMMARY:Night", "DTSTART:20240110T220000Z", "DTEND:20240111T060000Z",
                       "END:VEVENT", "BEGIN:VEVENT", "UID:q", "SUMMARY:Ended", "DTSTART:20240110T200000Z",
                       "DTEND:20240111T000000Z", "END:VEVENT"}),
         "2024-01-11T00:00:00Z", "2024-01-12T00:00:00Z",
         {"2024-01-10T22:00:00Z/2024-01-11T06:00:00Z Night"}},
        {"a TZID nobody knows is read as the user's clock",
         "Asia/Tokyo",
         calendarText({"BEGIN:VEVENT", "UID:u", "SUMMARY:Elsewhere", "DTSTART;TZID=Mars/Olympus_Mons:20240201T100000",
                       "DTEND;TZID=Mars/Olympus_Mons:20240201T110000", "END:VEVENT"}),
         "2024-01-01T00:00:00Z", "2025-01-01T00:00:00Z",
         {"2024-02-01T01:00:00Z/2024-02-01T02:00:00Z Elsewhere"}},
        {"a TZID defined by the file's own VTIMEZONE follows that definition",
         "UTC",
         calendarText({"BEGIN:VTIMEZONE", "TZID:Custom Standard Time", "BEGIN:STANDARD", "DTSTART:19700101T000000",
                       "TZOFFSETFROM:+0530", "TZOFFSETTO:+0530", "END:STANDARD", "END:VTIMEZONE", "BEGIN:VEVENT", "UID:c",
                       "SUMMARY:Custom", "DTSTART;TZID=Custom Standard Time:20240201T100000", "DURATION:PT30M",
                       "END:VEVENT"}),
         "2024-01-01T00:00:00Z", "2025-01-01T00:00:00Z",
         {"2024-02-01T04:30:00Z/2024-02-01T05:00:00Z Custom"}},
    };
    for (const Case& c : cases) {
        const ScopedTimeZone zone(c.timeZone);
        VdirFixture fixture;
        fixture.writeItem("Home", "item.ics", c.text);
        const auto events = fixture.store().events(utc(c.from), utc(c.to));
        ASSERT_TRUE(events) << c.name << ": " << events.error().description;
        EXPECT_EQ(occurrenceTexts(events.value()), c.expected) << c.name;
        EXPECT_TRUE(fixture.skipLines().empty()) << c.name << ": " << fixture.skipLines().front();
    }
}

TEST(VdirEventStoreEvents, AZoneThatChangesEveryMinuteOrSecondIsReadInTheLocalZone) {
    struct Case {
        std::string name;
        std::string rule;
    };
    const std::vector<Case> cases = {
        {"every minute", "RRULE:FREQ=MINUTELY"},
        {"every second", "RRULE:FREQ=SECONDLY"},
    };
    const ScopedTimeZone zone("Asia/Tokyo");
    for (const Case& c : cases) {
        VdirFixture fixture;
        fixture.writeItem("Home", "ticking.ics",
                          calendarText({"BEGIN:VTIMEZONE", "TZID:Ticking", "BEGIN:STANDARD", "DTSTART:19700101T000000",
                                        "TZOFFSETFROM:+0100", "TZOFFSETTO:+0200", c.rule, "END:STANDARD",
                                        "END:VTIMEZONE", "BEGIN:VEVENT", "UID:t", "SUMMARY:Tick",
                                        "DTSTART;TZID=Ticking:20240201T100000", "DURATION:PT1H", "END:VEVENT"}));
        const auto events = answeredWithin(std::chrono::seconds(20), [&] {
            return fixture.store().events(utc("2024-01-01T00:00:00Z"), utc("2025-01-01T00:00:00Z"));
        });
        ASSERT_TRUE(events) << c.name << ": " << events.error().description;
        EXPECT_EQ(occurrenceTexts(events.value()),
                  std::vector<std::string>{"2024-02-01T01:00:00Z/2024-02-01T02:00:00Z Tick"})
            << c.name;
        ASSERT_EQ(fixture.skipLines().size(), 1u) << c.name;
        EXPECT_NE(fixture.skipLines()[0].find("ticking.ics: the time zone \"Ticking\""), std::string::npos)
            << fixture.skipLines()[0];
    }
}

TEST(VdirEventStoreEvents, ARangeHoldingMoreOccurrencesThanTheBudgetIsRefusedUnlessOnlyTheEarliestAreAsked) {
    const ScopedTimeZone zone("UTC");
    VdirFixture fixture({.calendarFolder = {},
                         .reminderFolder = {},
                         .defaultCalendarTitle = std::nullopt,
                         .defaultReminderListTitle = std::nullopt,
                         .maximumOccurrences = 5});
    fixture.writeItem("Home", "a.ics",
                      calendarText({"BEGIN:VEVENT", "UID:ten", "SUMMARY:Ten", "DTSTART:20231201T100000Z",
                                    "DURATION:PT1H", "RRULE:FREQ=DAILY", "END:VEVENT"}));
    fixture.writeItem("Home", "b.ics",
                      calendarText({"BEGIN:VEVENT", "UID:nine", "SUMMARY:Nine", "DTSTART:20231201T090000Z",
                                    "DURATION:PT1H", "RRULE:FREQ=DAILY", "END:VEVENT", "BEGIN:VEVENT", "UID:also",
                                    "SUMMARY:Also ten", "DTSTART:20240102T100000Z", "DURATION:PT1H", "END:VEVENT"}));

    const auto month = fixture.store().events(utc("2024-01-01T00:00:00Z"), utc("2024-02-01T00:00:00Z"));
    ASSERT_FALSE(month);
    EXPECT_EQ(month.error().description,
              "Too many events to read in this range: the calendars hold more than 5 occurrences between "
              "2024-01-01T00:00:00Z and 2024-02-01T00:00:00Z; ask for a narrower range of dates");

    const auto day = fixture.store().events(utc("2024-01-01T00:00:00Z"), utc("2024-01-02T00:00:00Z"));
    ASSERT_TRUE(day) << day.error().description;
    EXPECT_EQ(day.value().size(), 2u);

    const auto earliest = fixture.store().earliestEvents(utc("2024-01-01T00:00:00Z"), utc("2024-02-01T00:00:00Z"), 4);
    ASSERT_TRUE(earliest) << earliest.error().description;
    EXPECT_EQ(occurrenceTexts(earliest.value()),
              (std::vector<std::string>{"2024-01-01T09:00:00Z/2024-01-01T10:00:00Z Nine",
                                        "2024-01-01T10:00:00Z/2024-01-01T11:00:00Z Ten",
                                        "2024-01-02T09:00:00Z/2024-01-02T10:00:00Z Nine",
                                        "2024-01-02T10:00:00Z/2024-01-02T11:00:00Z Ten"}))
        << "of two that start together, the one read first";
    EXPECT_FALSE(fixture.store().earliestEvents(utc("2024-01-01T00:00:00Z"), utc("2024-02-01T00:00:00Z"), 6))
        << "more than the budget cannot be held";
}

TEST(VdirEventStoreEvents, FindsAnEventByItsUIDAsItsFirstOccurrence) {
    struct Case {
        std::string name;
        std::string identifier;
        std::optional<std::string> expected;
    };
    const ScopedTimeZone zone("UTC");
    VdirFixture fixture;
    fixture.writeItem("Home", "a.ics",
                      calendarText({"BEGIN:VEVENT", "UID:series", "SUMMARY:Weekly", "DTSTART:20240101T090000Z",
                                    "DURATION:PT1H", "RRULE:FREQ=WEEKLY", "EXDATE:20240101T090000Z", "END:VEVENT"}));
    fixture.writeItem("Work", "b.ics",
                      calendarText({"BEGIN:VEVENT", "UID:../../etc/passwd", "SUMMARY:Odd UID", "DTSTART:20240301T090000Z",
                                    "END:VEVENT"}));
    fixture.writeItem("Work", "no-uid.ics",
                      calendarText({"BEGIN:VEVENT", "SUMMARY:Without UID", "DTSTART:20240401T090000Z", "END:VEVENT"}));
    const std::vector<Case> cases = {
        {"a series whose first date is excluded starts at its second", "series", "2024-01-08T09:00:00Z Weekly"},
        {"a UID that looks like a path is only ever compared", "../../etc/passwd", "2024-03-01T09:00:00Z Odd UID"},
        {"an item without a UID goes by its file name", "no-uid", "2024-04-01T09:00:00Z Without UID"},
        {"an unknown UID finds nothing", "missing", std::nullopt},
        {"a UID is compared whole", "serie", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto found = fixture.store().event(c.identifier);
        ASSERT_TRUE(found) << c.name;
        if (!c.expected) {
            EXPECT_FALSE(found.value()) << c.name;
            continue;
        }
        ASSERT_TRUE(found.value()) << c.name;
        EXPECT_EQ(utcText(found.value()->start) + " " + found.value()->title, *c.expected) << c.name;
        EXPECT_EQ(found.value()->identifier, c.identifier) << c.name;
    }
}

}  // namespace
}  // namespace lumenary::platform
