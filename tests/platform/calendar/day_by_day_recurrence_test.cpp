#include "platform/calendar/day_by_day_recurrence.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumenary::platform {
namespace {

std::string dayByDayFieldsText(const icaltimetype& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", time.year, time.month, time.day, time.hour, time.minute,
                  time.second);
    return text;
}

TEST(DayByDayRecurrence, FindsEachInstanceInTheRangeAtACostOfTheDaysThatPass) {
    struct Case {
        std::string name;
        std::string rule;
        std::string start;
        std::string from;
        std::string before;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"every listed second of 29 February, over leap and other years",
         "FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=29;BYHOUR=9;BYMINUTE=0,30;BYSECOND=0,15", "20230101T000000Z",
         "20230601T000000Z", "20300101T000000",
         {"20240229T090000", "20240229T090015", "20240229T093000", "20240229T093015", "20280229T090000",
          "20280229T090015", "20280229T093000", "20280229T093015"}},
        {"COUNT counts from the start, also the instances before the range",
         "FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=29;BYHOUR=9;BYMINUTE=0;BYSECOND=0,1;COUNT=3", "20230101T000000Z",
         "20280101T000000Z", "20400101T000000", {"20280229T090000"}},
        {"COUNT over whole days before the range", "FREQ=MINUTELY;BYHOUR=12;BYMINUTE=0,1,2;COUNT=7", "20240101T120100Z",
         "20240103T000000Z", "20250101T000000", {"20240103T120000", "20240103T120100"}},
        {"an INTERVAL reaches the hours a whole number of periods from the start",
         "FREQ=HOURLY;INTERVAL=5;BYMONTH=2;BYMONTHDAY=29", "20240101T000000Z", "20240201T000000Z", "20240301T000000",
         {"20240229T040000", "20240229T090000", "20240229T140000", "20240229T190000"}},
        {"UNTIL ends the rule at its own second", "FREQ=MINUTELY;BYHOUR=10;BYMINUTE=0,20,40;UNTIL=20240103T102000Z",
         "20240101T100000Z", "20240101T000000Z", "20250101T000000",
         {"20240101T100000", "20240101T102000", "20240101T104000", "20240102T100000", "20240102T102000",
          "20240102T104000", "20240103T100000", "20240103T102000"}},
        {"started late, it keeps the step it has from its start", "FREQ=MINUTELY;INTERVAL=90", "20240101T000000Z",
         "20240101T020000Z", "20240101T070000", {"20240101T030000", "20240101T043000", "20240101T060000"}},
        {"a daily rule with COUNT counts its passing days from its start, decades apart",
         "FREQ=DAILY;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO;COUNT=6", "19000101T090000Z", "20400101T000000Z",
         "21000101T000000", {"20440229T090000"}},
        {"a daily rule from a date gives dates", "FREQ=DAILY;BYDAY=MO,WE;COUNT=4", "20260105", "20260101T000000",
         "20270101T000000", {"20260105T000000", "20260107T000000", "20260112T000000", "20260114T000000"}},
        {"a rule whose parts never hold finds nothing, and ends", "FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30",
         "20260101T090000Z", "20260101T090000Z", "99991231T000000", {}},
    };
    // Through libical the first case alone takes some 190 million steps.
    constexpr int steps = 5'000;
    for (const Case& c : cases) {
        const icalrecurrencetype rule = icalrecurrencetype_from_string(c.rule.c_str());
        const DayByDayRecurrence recurrence(rule, icaltime_from_string(c.start.c_str()));
        std::vector<std::string> found;
        recurrence.expand(icaltime_from_string(c.from.c_str()), std::nullopt, steps, [&](const icaltimetype& instance) {
            const std::string text = dayByDayFieldsText(instance);
            if (text >= c.before) {
                return false;
            }
            found.push_back(text);
            return true;
        });
        EXPECT_EQ(found, c.expected) << c.name;
    }
}

}  // namespace
}  // namespace lumenary::platform
