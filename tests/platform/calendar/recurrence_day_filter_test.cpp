#include "platform/calendar/recurrence_day_filter.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumenary::platform {
namespace {

RecurrenceDayFilter dayFilterOf(const std::string& rule, const RecurrenceDay& start) {
    return RecurrenceDayFilter(icalrecurrencetype_from_string(rule.c_str()), start);
}

TEST(RecurrenceDayFilter, LetsThroughTheDaysARulesPartsNameAndTheOnesItTakesFromItsStart) {
    struct Case {
        std::string rule;
        RecurrenceDay start;
        RecurrenceDay day;
        bool passes;
    };
    const RecurrenceDay january2026{.year = 2026, .month = 1, .day = 15};
    const std::vector<Case> cases = {
        {"FREQ=MONTHLY;BYDAY=-1FR", january2026, {.year = 2026, .month = 1, .day = 30}, true},
        {"FREQ=MONTHLY;BYDAY=-1FR", january2026, {.year = 2026, .month = 1, .day = 23}, false},
        {"FREQ=YEARLY;BYDAY=2MO", january2026, {.year = 2026, .month = 1, .day = 12}, true},
        {"FREQ=YEARLY;BYDAY=2MO", january2026, {.year = 2026, .month = 2, .day = 9}, false},
        {"FREQ=YEARLY;BYMONTH=2;BYDAY=2MO", january2026, {.year = 2026, .month = 2, .day = 9}, true},
        {"FREQ=DAILY;BYMONTHDAY=-1", january2026, {.year = 2024, .month = 2, .day = 29}, true},
        {"FREQ=DAILY;BYMONTHDAY=-1", january2026, {.year = 2024, .month = 2, .day = 28}, false},
        {"FREQ=YEARLY;BYYEARDAY=-1", january2026, {.year = 2024, .month = 12, .day = 31}, true},
        {"FREQ=YEARLY;BYWEEKNO=53;BYDAY=TH", january2026, {.year = 2020, .month = 12, .day = 31}, true},
        // Week 1 of 2025 begins on 30 December 2024; week 1 of 2026 on 29 December 2025.
        {"FREQ=YEARLY;BYWEEKNO=1;BYDAY=MO", january2026, {.year = 2024, .month = 12, .day = 30}, true},
        {"FREQ=YEARLY;BYWEEKNO=1;BYDAY=MO", january2026, {.year = 2024, .month = 12, .day = 23}, false},
        {"FREQ=YEARLY;BYWEEKNO=-1", january2026, {.year = 2021, .month = 1, .day = 3}, true},
        {"FREQ=YEARLY;BYWEEKNO=53", january2026, {.year = 2021, .month = 1, .day = 3}, true},
        {"FREQ=YEARLY;BYWEEKNO=52", january2026, {.year = 2021, .month = 1, .day = 3}, false},
        {"FREQ=YEARLY;BYWEEKNO=1;WKST=SU", january2026, {.year = 2024, .month = 12, .day = 29}, true},
        {"FREQ=YEARLY;BYWEEKNO=1", january2026, {.year = 2024, .month = 12, .day = 29}, false},
        // A yearly BYMONTHDAY without BYMONTH holds in the month of the start, as libical reads it.
        {"FREQ=YEARLY;BYMONTHDAY=15", january2026, {.year = 2027, .month = 1, .day = 15}, true},
        {"FREQ=YEARLY;BYMONTHDAY=15", january2026, {.year = 2027, .month = 2, .day = 15}, false},
        {"FREQ=YEARLY;BYWEEKNO=1;BYDAY=MO", january2026, {.year = 2024, .month = 1, .day = 1}, true},
        {"FREQ=WEEKLY", january2026, {.year = 2026, .month = 1, .day = 22}, true},
        {"FREQ=WEEKLY", january2026, {.year = 2026, .month = 1, .day = 23}, false},
        {"FREQ=MONTHLY", january2026, {.year = 2026, .month = 3, .day = 15}, true},
        {"FREQ=YEARLY", january2026, {.year = 2027, .month = 2, .day = 15}, false},
        {"FREQ=YEARLY;BYMONTH=3", january2026, {.year = 2027, .month = 3, .day = 15}, true},
    };
    for (const Case& c : cases) {
        const RecurrenceDay& day = c.day;
        EXPECT_EQ(dayFilterOf(c.rule, c.start).passes(day), c.passes)
            << c.rule << " on " << day.year << "-" << day.month << "-" << day.day;
    }
}

TEST(RecurrenceDayFilter, FindsWhetherADayPassesBetweenTwoDaysInStepsOfTheMonthsAndYearsThatHoldNone) {
    struct Case {
        std::string name;
        std::string rule;
        RecurrenceDay first;
        RecurrenceDay last;
        int steps;
        bool expected;
    };
    const std::string mondayLeapDay = "FREQ=DAILY;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO";
    const std::vector<Case> cases = {
        {"29 February of 2016 is a Monday", mondayLeapDay, {.year = 2016}, {.year = 2016, .month = 12, .day = 31}, 100, true},
        {"the next one is in 2044, after 28 years of months and years passed in steps", mondayLeapDay, {.year = 2017},
         {.year = 2043, .month = 12, .day = 31}, 400, false},
        {"2044 holds it", mondayLeapDay, {.year = 2017}, {.year = 2044, .month = 12, .day = 31}, 400, true},
        {"out of steps, a day may pass", mondayLeapDay, {.year = 2017}, {.year = 2043, .month = 12, .day = 31}, 3, true},
        {"a weekly rule within its week", "FREQ=WEEKLY;BYDAY=SU", {.year = 2026, .month = 1, .day = 5},
         {.year = 2026, .month = 1, .day = 11}, 100, true},
        {"a weekly rule between its days", "FREQ=WEEKLY;BYDAY=SU", {.year = 2026, .month = 1, .day = 5},
         {.year = 2026, .month = 1, .day = 10}, 100, false},
        {"never past the last day", "FREQ=DAILY", {.year = 2026, .month = 1, .day = 5}, {.year = 2026, .month = 1, .day = 4},
         100, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dayFilterOf(c.rule, {.year = 2016}).passesSomeDayBetween(c.first, c.last, c.steps), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace lumenary::platform
