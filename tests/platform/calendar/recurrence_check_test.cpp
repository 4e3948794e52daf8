#include "platform/calendar/recurrence_check.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumenary::platform {
namespace {

RecurrenceVerdict recurrenceVerdictOf(const std::string& rule, const std::string& start) {
    icalrecurrencetype recurrence = icalrecurrencetype_from_string(rule.c_str());
    const RecurrenceVerdict verdict = checkRecurrence(recurrence, icaltime_from_string(start.c_str())).verdict;
    // The parser copies RSCALE's value for the caller to free.
    icalmemory_free_buffer(recurrence.rscale);
    return verdict;
}

TEST(RecurrenceCheck, TellsRulesThatCanHoldFromThoseThatNeverCanOrAreNotRead) {
    using enum RecurrenceVerdict;
    struct Case {
        std::string rule;
        std::string start;
        RecurrenceVerdict expected;
    };
    const std::vector<Case> cases = {
        // Ordinary rules, and ones that hold rarely.
        {"FREQ=WEEKLY;BYDAY=MO,TH", "20240318T090000", expandable},
        {"FREQ=YEARLY", "20240229T090000", expandable},
        {"FREQ=MONTHLY;BYDAY=-1FR", "20240105T090000", expandable},
        {"FREQ=YEARLY;BYDAY=53MO", "20240101T090000", expandable},
        {"FREQ=YEARLY;BYWEEKNO=53;BYDAY=TH", "20200101T090000", expandable},
        {"FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=29", "20260101T090000Z", expandable},
        {"FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO", "20260101T090000Z", expandable},
        {"FREQ=MINUTELY;BYYEARDAY=366", "20260101T090000Z", expandable},
        {"FREQ=SECONDLY;BYYEARDAY=-366;BYMONTH=1", "20260101T090000Z", expandable},
        {"FREQ=DAILY;INTERVAL=2;BYMONTH=2;BYMONTHDAY=29", "20250101T090000", expandable},
        {"FREQ=MONTHLY;BYMONTHDAY=31", "20240131T090000", expandable},
        {"FREQ=DAILY;INTERVAL=3;BYMONTH=2;BYMONTHDAY=29", "20250101T090000", expandable},
        {"FREQ=WEEKLY;INTERVAL=2;BYMONTH=2;BYDAY=SU", "20250101T090000", expandable},
        {"FREQ=MONTHLY;INTERVAL=12;BYMONTHDAY=29", "20250201T090000", expandable},
        {"FREQ=HOURLY;INTERVAL=2;BYHOUR=3", "20240101T010000", expandable},
        {"FREQ=DAILY", "00010101T090000", expandable},
        {"FREQ=DAILY;RSCALE=GREGORIAN", "20240101T090000", expandable},
        // Its one Monday in 400 years comes a whole cycle after its start.
        {"FREQ=WEEKLY;INTERVAL=20871;BYDAY=MO", "20240102T090000", expandable},
        // Parts that can never all hold.
        {"FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30", "20260101T090000Z", neverHolds},
        {"FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=30", "20260101T090000Z", neverHolds},
        {"FREQ=SECONDLY;BYYEARDAY=366;BYMONTH=1", "20260101T090000Z", neverHolds},
        {"FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=29;BYYEARDAY=1", "20260101T090000Z", neverHolds},
        {"FREQ=MINUTELY;BYMONTH=4;BYMONTHDAY=-31", "20260101T090000Z", neverHolds},
        {"FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30", "00010101T090000", neverHolds},
        {"FREQ=MONTHLY;BYMONTHDAY=31;BYMONTH=2", "19700101T000000", neverHolds},
        {"FREQ=MONTHLY;BYMONTH=2;BYDAY=5MO;BYMONTHDAY=1,2,3", "20240101T000000", neverHolds},
        {"FREQ=YEARLY;BYMONTH=2", "20240130T090000", neverHolds},
        {"FREQ=YEARLY;INTERVAL=400;BYMONTH=2;BYMONTHDAY=29", "20250101T090000", neverHolds},
        {"FREQ=YEARLY;INTERVAL=4;BYMONTH=2;BYMONTHDAY=29", "20250101T090000", neverHolds},
        {"FREQ=DAILY;INTERVAL=7;BYDAY=MO", "20240102T090000", neverHolds},
        {"FREQ=WEEKLY;INTERVAL=20871;BYDAY=MO;BYMONTH=2", "20240102T090000", neverHolds},
        {"FREQ=MONTHLY;INTERVAL=12;BYMONTHDAY=30", "20250201T090000", neverHolds},
        {"FREQ=YEARLY;BYWEEKNO=53;BYMONTH=1;BYDAY=MO", "20260101T090000", neverHolds},
        // 29 December 2025, a Monday, is in week 1 of 2026.
        {"FREQ=YEARLY;BYWEEKNO=1;BYMONTH=12;BYDAY=MO", "20260101T090000", expandable},
        {"FREQ=YEARLY;BYWEEKNO=1;BYMONTHDAY=31", "20260101T090000", expandable},
        {"FREQ=YEARLY;BYWEEKNO=1;BYMONTH=12;BYMONTHDAY=1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24",
         "20260101T090000", neverHolds},
        // BYSETPOS picks from a set that is never that large.
        {"FREQ=WEEKLY;BYDAY=MO;BYSETPOS=2", "20260105T090000", neverHolds},
        {"FREQ=MONTHLY;BYDAY=MO;BYHOUR=8,9;BYSETPOS=11,-11", "20260105T090000", neverHolds},
        {"FREQ=MONTHLY;BYDAY=MO;BYHOUR=8,9;BYSETPOS=10,-11", "20260105T090000", expandable},
        {"FREQ=DAILY;BYHOUR=18,23;BYSETPOS=3", "20260105T090000", neverHolds},
        {"FREQ=MINUTELY;BYHOUR=20;BYSETPOS=-1", "20260105T200000", expandable},
        {"FREQ=HOURLY;BYMINUTE=0,30;BYSETPOS=-3", "20260105T200000", neverHolds},
        {"FREQ=SECONDLY;BYSETPOS=2", "20240101T090000", neverHolds},
        {"FREQ=HOURLY;INTERVAL=2;BYHOUR=1", "20240101T000000", neverHolds},
        {"FREQ=MINUTELY;INTERVAL=30;BYMINUTE=15", "20240101T000000", neverHolds},
        // Parts RFC 5545 does not allow with the FREQ, and those not read.
        {"FREQ=MINUTELY;BYDAY=-53MO", "20260101T090000Z", notExpandable},
        {"FREQ=DAILY;BYDAY=-53MO", "00010101T090000", notExpandable},
        {"FREQ=WEEKLY;BYDAY=-2MO", "00010101T090000", notExpandable},
        {"FREQ=YEARLY;BYWEEKNO=20;BYDAY=1MO", "20240101T090000", notExpandable},
        {"FREQ=DAILY;BYWEEKNO=20", "20240101T090000", notExpandable},
        {"FREQ=MONTHLY;BYYEARDAY=100", "20240101T090000", notExpandable},
        {"FREQ=WEEKLY;BYMONTHDAY=1", "20240101T090000", notExpandable},
        {"FREQ=DAILY;RSCALE=CHINESE;SKIP=FORWARD", "20240101T090000", notExpandable},
        {"FREQ=HOURLY", "20240101", notExpandable},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(recurrenceVerdictOf(c.rule, c.start), c.expected) << c.rule << " from " << c.start;
    }
}

}  // namespace
}  // namespace lumenary::platform
