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
