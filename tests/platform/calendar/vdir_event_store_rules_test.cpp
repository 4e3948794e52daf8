#include <gtest/gtest.h>

#include "vdir_fixture.hpp"

namespace lumenary::platform {
namespace {

using testing::answeredWithin;
using testing::calendarText;
using testing::ScopedTimeZone;
using testing::utc;
using testing::utcText;
using testing::VdirFixture;

// Long enough for a slow sanitizer build; the rules below used to hold a
// read for minutes or without end.
constexpr std::chrono::seconds hostileReadDeadline{20};

std::vector<std::string> ruleTestStarts(const std::vector<StoreEvent>& events) {
    std::vector<std::string> starts;
    for (const StoreEvent& event : events) {
        starts.push_back(utcText(event.start) + " " + event.title);
    }
    return starts;
}

std::string plainEventText() {
    return calendarText({"BEGIN:VEVENT", "UID:plain", "SUMMARY:Plain", "DTSTART:20260105T100000Z", "DURATION:PT1H",
                         "END:VEVENT"});
}

TEST(VdirEventStoreRules, ARuleThatCanNeverHoldOrIsNotReadStandsForItsFirstOccurrenceWithOneLine) {
    struct Case {
        std::string start;
        std::string rule;
        std::vector<std::string> expected;
    };
    const std::string first = "2026-01-01T09:00:00Z Odd";
    const std::string plain = "2026-01-05T10:00:00Z Plain";
    const std::vector<Case> cases = {
        {"DTSTART:20260101T090000Z", "RRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30", {first, plain}},
        {"DTSTART:20260101T090000Z", "RRULE:FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=30", {first, plain}},
        {"DTSTART:20260101T090000Z", "RRULE:FREQ=MINUTELY;BYDAY=-53MO", {first, plain}},
        {"DTSTART:20260101T090000Z", "RRULE:FREQ=SECONDLY;BYYEARDAY=366;BYMONTH=1", {first, plain}},
        {"DTSTART:20260101T090000Z", "RRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=29;BYYEARDAY=1", {first, plain}},
        {"DTSTART:20260101T090000Z", "RRULE:FREQ=DAILY;RSCALE=CHINESE;SKIP=FORWARD", {first, plain}},
        {"DTSTART:20260101T090000Z", "RRULE:FREQ=MONTHLY;BYDAY=6MO", {first, plain}},
        // A set of one a week, or of two a day, has no second or third.
        {"DTSTART:20260101T090000Z", "RRULE:FREQ=WEEKLY;BYDAY=MO;BYSETPOS=2", {first, plain}},
        {"DTSTART:20260101T090000Z", "RRULE:FREQ=DAILY;BYHOUR=18,23;BYSETPOS=3", {first, plain}},
        {"DTSTART:20260101T090000Z", "RRULE:FREQ=SECONDLY;BYSETPOS=2", {first, plain}},
        {"DTSTART;TZID=Nowhere/Nothing:20260101T090000", "RRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30", {first, plain}},
        {"DTSTART:00010101T090000Z", "RRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30", {plain}},
        {"DTSTART:00010101T090000Z", "RRULE:FREQ=DAILY;BYDAY=-53MO", {plain}},
    };
    const ScopedTimeZone zone("UTC");
    for (const Case& c : cases) {
        VdirFixture fixture;
        fixture.writeItem("Home", "plain.ics", plainEventText());
        fixture.writeItem("Home", "odd.ics",
                          calendarText({"BEGIN:VEVENT", "UID:odd-rule", "SUMMARY:Odd", c.start, "DURATION:PT1H", c.rule,
                                        "END:VEVENT"}));
        const auto events = answeredWithin(hostileReadDeadline, [&] {
            return fixture.store().events(utc("2026-01-01T00:00:00Z"), utc("2027-01-01T00:00:00Z"));
        });
        ASSERT_TRUE(events) << c.rule << ": " << events.error().description;
        EXPECT_EQ(ruleTestStarts(events.value()), c.expected) << c.start << " " << c.rule;
        const auto lines = fixture.skipLines();
        ASSERT_EQ(lines.size(), 1u) << c.rule;
        EXPECT_NE(lines[0].find("odd.ics: the repeat rule of the event \"odd-rule\" was read as its first occurrence"),
                  std::string::npos)
            << lines[0];
    }
}

TEST(VdirEventStoreRules, ARuleExpandedDayByDayFindsItsOccurrencesFarFromItsStart) {
    struct Case {
        std::string name;
        std::string start;
        std::string rule;
        std::string from;
        std::string to;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"each second of 29 February that the rule names, in leap years only", "DTSTART:20230101T090000Z",
         "RRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=29;BYHOUR=9;BYMINUTE=0;BYSECOND=0", "2023-01-01T00:00:00Z",
         "2030-01-01T00:00:00Z",
         {"2023-01-01T09:00:00Z Tick", "2024-02-29T09:00:00Z Tick", "2028-02-29T09:00:00Z Tick"}},
        {"every quarter of an hour, four years after its start", "DTSTART:20200101T000000Z",
         "RRULE:FREQ=MINUTELY;INTERVAL=15", "2024-01-01T00:00:00Z", "2024-01-01T01:00:00Z",
         {"2024-01-01T00:00:00Z Tick", "2024-01-01T00:15:00Z Tick", "2024-01-01T00:30:00Z Tick",
          "2024-01-01T00:45:00Z Tick"}},
        {"two hours of one weekday, across its zone's change", "DTSTART;TZID=Europe/Berlin:20200106T000000",
         "RRULE:FREQ=HOURLY;BYDAY=MO;BYHOUR=8,9", "2024-03-25T00:00:00Z", "2024-04-02T00:00:00Z",
         {"2024-03-25T07:00:00Z Tick", "2024-03-25T08:00:00Z Tick", "2024-04-01T06:00:00Z Tick",
          "2024-04-01T07:00:00Z Tick"}},
        {"a daily rule with COUNT on 29 February when it is a Monday, counted from 1900", "DTSTART:19000101T090000Z",
         "RRULE:FREQ=DAILY;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO;COUNT=6", "2044-01-01T00:00:00Z", "2045-01-01T00:00:00Z",
         {"2044-02-29T09:00:00Z Tick"}},
        {"an all-day daily rule with COUNT on two weekdays", "DTSTART;VALUE=DATE:20260105",
         "RRULE:FREQ=DAILY;BYDAY=MO,WE;COUNT=4", "2026-01-06T00:00:00Z", "2026-02-01T00:00:00Z",
         {"2026-01-07T00:00:00Z Tick", "2026-01-12T00:00:00Z Tick", "2026-01-14T00:00:00Z Tick"}},
    };
    const ScopedTimeZone zone("UTC");
    for (const Case& c : cases) {
        VdirFixture fixture;
        fixture.writeItem("Home", "tick.ics",
                          calendarText({"BEGIN:VEVENT", "UID:tick", "SUMMARY:Tick", c.start, c.rule, "END:VEVENT"}));
        const auto events = answeredWithin(hostileReadDeadline, [&] { return fixture.store().events(utc(c.from), utc(c.to)); });
        ASSERT_TRUE(events) << c.name << ": " << events.error().description;
        EXPECT_EQ(ruleTestStarts(events.value()), c.expected) << c.name;
        EXPECT_TRUE(fixture.skipLines().empty()) << c.name;
    }
}

TEST(VdirEventStoreRules, ARuleGivesTheOccurrencesRfc5545DefinesOnEveryPath) {
    struct Case {
        std::string name;
        std::string start;
        std::string rule;
        std::string from;
        std::string to;
        std::vector<std::string> expected;
    };
    const auto at = [](std::initializer_list<const char*> times) {
        std::vector<std::string> starts;
        for (const char* time : times) {
            starts.push_back(std::string(time) + " Tick");
        }
        return starts;
    };
    const std::vector<Case> cases = {
        {"BYSETPOS picks the last of each week's Friday and Sunday", "DTSTART:20260104T090000Z",
         "RRULE:FREQ=WEEKLY;BYDAY=FR,SU;BYSETPOS=-1", "2026-01-01T00:00:00Z", "2026-01-26T00:00:00Z",
         at({"2026-01-04T09:00:00Z", "2026-01-11T09:00:00Z", "2026-01-18T09:00:00Z", "2026-01-25T09:00:00Z"})},
        {"BYSETPOS picks from the month's times of day", "DTSTART:20260117T080000Z",
         "RRULE:FREQ=MONTHLY;BYDAY=3SA;BYHOUR=8,13;BYSETPOS=1", "2026-01-01T00:00:00Z", "2026-04-01T00:00:00Z",
         at({"2026-01-17T08:00:00Z", "2026-02-21T08:00:00Z", "2026-03-21T08:00:00Z"})},
        {"BYSETPOS picks the second time of each day", "DTSTART:20260105T230000Z",
         "RRULE:FREQ=DAILY;BYHOUR=18,23;BYSETPOS=2", "2026-01-05T00:00:00Z", "2026-01-08T00:00:00Z",
         at({"2026-01-05T23:00:00Z", "2026-01-06T23:00:00Z", "2026-01-07T23:00:00Z"})},
        {"BYSETPOS from a minute's set of one, each minute of the hour", "DTSTART:20260105T200000Z",
         "RRULE:FREQ=MINUTELY;BYHOUR=20;BYSETPOS=-1", "2026-01-05T20:57:00Z", "2026-01-06T20:02:00Z",
         at({"2026-01-05T20:57:00Z", "2026-01-05T20:58:00Z", "2026-01-05T20:59:00Z", "2026-01-06T20:00:00Z",
             "2026-01-06T20:01:00Z"})},
        {"BYSETPOS picks the hour's minutes and seconds together", "DTSTART:20260105T200030Z",
         "RRULE:FREQ=HOURLY;BYHOUR=20,21;BYMINUTE=0,30;BYSECOND=0,30;BYSETPOS=2,-1", "2026-01-05T00:00:00Z",
         "2026-01-06T00:00:00Z",
         at({"2026-01-05T20:00:30Z", "2026-01-05T20:30:30Z", "2026-01-05T21:00:30Z", "2026-01-05T21:30:30Z"})},
        {"the last day of each month, without COUNT", "DTSTART:20260131T090000Z", "RRULE:FREQ=DAILY;BYMONTHDAY=-1",
         "2026-01-01T00:00:00Z", "2026-05-01T00:00:00Z",
         at({"2026-01-31T09:00:00Z", "2026-02-28T09:00:00Z", "2026-03-31T09:00:00Z", "2026-04-30T09:00:00Z"})},
        // Without BYDAY, BYWEEKNO gives every day of its week; the last
        // week of 2026 (week 53) ends on 3 January 2027.
        {"each day of the last week of the year", "DTSTART:20261228T090000Z", "RRULE:FREQ=YEARLY;BYWEEKNO=-1",
         "2026-01-01T00:00:00Z", "2028-01-01T00:00:00Z",
         at({"2026-12-28T09:00:00Z", "2026-12-29T09:00:00Z", "2026-12-30T09:00:00Z", "2026-12-31T09:00:00Z",
             "2027-01-01T09:00:00Z", "2027-01-02T09:00:00Z", "2027-01-03T09:00:00Z", "2027-12-27T09:00:00Z",
             "2027-12-28T09:00:00Z", "2027-12-29T09:00:00Z", "2027-12-30T09:00:00Z", "2027-12-31T09:00:00Z"})},
        {"two times of each day of week 52", "DTSTART:20261221T190000Z", "RRULE:FREQ=YEARLY;BYWEEKNO=52;BYHOUR=19,23",
         "2026-12-24T00:00:00Z", "2027-12-28T00:00:00Z",
         at({"2026-12-24T19:00:00Z", "2026-12-24T23:00:00Z", "2026-12-25T19:00:00Z", "2026-12-25T23:00:00Z",
             "2026-12-26T19:00:00Z", "2026-12-26T23:00:00Z", "2026-12-27T19:00:00Z", "2026-12-27T23:00:00Z",
             "2027-12-27T19:00:00Z", "2027-12-27T23:00:00Z"})},
        {"31 December when it is in week 1 of the next year", "DTSTART:20251231T090000Z",
         "RRULE:FREQ=YEARLY;BYWEEKNO=1;BYMONTHDAY=31", "2025-01-01T00:00:00Z", "2031-06-01T00:00:00Z",
         at({"2025-12-31T09:00:00Z", "2029-12-31T09:00:00Z", "2030-12-31T09:00:00Z"})},
        // A yearly BYMONTHDAY without BYMONTH holds in the month of the
        // start, as libical, which wrote many such files, reads it.
        {"a yearly day of the month in the start's month", "DTSTART:20260115T090000Z",
         "RRULE:FREQ=YEARLY;BYMONTHDAY=15,-1", "2026-01-01T00:00:00Z", "2028-01-01T00:00:00Z",
         at({"2026-01-15T09:00:00Z", "2026-01-31T09:00:00Z", "2027-01-15T09:00:00Z", "2027-01-31T09:00:00Z"})},
        // 02:30 does not exist on 29 March 2026 in Berlin: that day alone
        // is read with the offset before the gap, 03:30 summer time.
        {"a skipped local time moves its own day only", "DTSTART;TZID=Europe/Berlin:20260327T023000",
         "RRULE:FREQ=DAILY", "2026-03-27T00:00:00Z", "2026-04-01T00:00:00Z",
         at({"2026-03-27T01:30:00Z", "2026-03-28T01:30:00Z", "2026-03-29T01:30:00Z", "2026-03-30T00:30:00Z",
             "2026-03-31T00:30:00Z"})},
        {"a skipped time on the user's clock", "DTSTART:20260328T023000", "RRULE:FREQ=DAILY;COUNT=3",
         "2026-03-27T00:00:00Z", "2026-04-01T00:00:00Z",
         at({"2026-03-28T01:30:00Z", "2026-03-29T01:30:00Z", "2026-03-30T00:30:00Z"})},
        // 02:30 happens twice on 25 October 2026: the first, in summer time.
        {"a repeated local time is the first of the two", "DTSTART;TZID=Europe/Berlin:20261024T023000",
         "RRULE:FREQ=DAILY;COUNT=3", "2026-10-20T00:00:00Z", "2026-11-01T00:00:00Z",
         at({"2026-10-24T00:30:00Z", "2026-10-25T00:30:00Z", "2026-10-26T01:30:00Z"})},
        {"a weekly rule every other week, started far before the range", "DTSTART;TZID=Europe/Berlin:20200106T090000",
         "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,TH", "2026-01-05T00:00:00Z", "2026-01-20T00:00:00Z",
         at({"2026-01-12T08:00:00Z", "2026-01-15T08:00:00Z"})},
        // Its 16th month, five apart from January 2020, is April 2026.
        {"a monthly rule with COUNT, counted from its start", "DTSTART:20200131T090000Z",
         "RRULE:FREQ=MONTHLY;BYMONTHDAY=-1;INTERVAL=5;COUNT=16", "2026-01-01T00:00:00Z", "2027-01-01T00:00:00Z",
         at({"2026-04-30T09:00:00Z"})},
    };
    const ScopedTimeZone zone("Europe/Berlin");
    for (const Case& c : cases) {
        VdirFixture fixture;
        fixture.writeItem("Home", "tick.ics",
                          calendarText({"BEGIN:VEVENT", "UID:tick", "SUMMARY:Tick", c.start, c.rule, "END:VEVENT"}));
        const auto events = answeredWithin(hostileReadDeadline, [&] { return fixture.store().events(utc(c.from), utc(c.to)); });
        ASSERT_TRUE(events) << c.name << ": " << events.error().description;
        EXPECT_EQ(ruleTestStarts(events.value()), c.expected) << c.name;
        EXPECT_TRUE(fixture.skipLines().empty()) << c.name;
    }
}

TEST(VdirEventStoreRules, AZoneWhoseObservanceRuleNeverHoldsChangesAtItsStartAlone) {
    struct Case {
        std::string name;
        std::string rule;
    };
    const std::vector<Case> cases = {
        {"monthly on 31 February", "RRULE:FREQ=MONTHLY;BYMONTHDAY=31;BYMONTH=2"},
        {"yearly on 31 April", "RRULE:FREQ=YEARLY;BYMONTH=4;BYMONTHDAY=31"},
        {"in another calendar scale", "RRULE:FREQ=DAILY;RSCALE=CHINESE;SKIP=FORWARD"},
    };
    const ScopedTimeZone zone("UTC");
    for (const Case& c : cases) {
        VdirFixture fixture;
        fixture.writeItem("Home", "plain.ics", plainEventText());
        fixture.writeItem("Home", "zone.ics",
                          calendarText({"BEGIN:VTIMEZONE", "TZID:Never", "BEGIN:STANDARD", "DTSTART:00010101T000000",
                                        "TZOFFSETFROM:+0100", "TZOFFSETTO:+0200", c.rule, "END:STANDARD",
                                        "END:VTIMEZONE", "BEGIN:VEVENT", "UID:z", "SUMMARY:Zoned",
                                        "DTSTART;TZID=Never:20260201T100000", "DURATION:PT1H", "RRULE:FREQ=YEARLY",
                                        "END:VEVENT"}));
        const auto events = answeredWithin(hostileReadDeadline, [&] {
            return fixture.store().events(utc("0001-01-01T00:00:00Z"), utc("2027-01-01T00:00:00Z"));
        });
        ASSERT_TRUE(events) << c.name << ": " << events.error().description;
        EXPECT_EQ(ruleTestStarts(events.value()),
                  (std::vector<std::string>{"2026-01-05T10:00:00Z Plain", "2026-02-01T08:00:00Z Zoned"}))
            << c.name;
    }
}

}  // namespace
}  // namespace lumenary::platform
