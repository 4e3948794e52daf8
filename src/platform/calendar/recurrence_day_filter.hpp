#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

#include <libical/ical.h>

namespace lumenary::platform {

// A day of the proleptic Gregorian calendar, as a rule's parts see it.
struct RecurrenceDay {
    int year = 1970;
    int month = 1;
    int day = 1;
};

// Days since 1970-01-01 (negative before), and back.
std::int64_t dayNumberOf(const RecurrenceDay& day);
RecurrenceDay recurrenceDayOf(std::int64_t dayNumber);

// Which days the day-level parts of one repeat rule let through: BYMONTH,
// BYWEEKNO, BYYEARDAY, BYMONTHDAY and BYDAY (an offset counted in the month
// or in the year as the rule's FREQ says), and the month, day of the month
// or weekday the rule takes from its start when it names none of its own.
// Where RFC 5545 reads two ways, the files other programs wrote keep their
// meaning: a yearly rule with BYMONTHDAY and without BYMONTH, BYWEEKNO or
// BYYEARDAY holds in the month of its start, as libical reads it; BYWEEKNO
// without BYDAY lets every day of its weeks through, as python-dateutil
// (and the programs built on it) reads it, where libical has no reading of
// its own that keeps to the week.
// Whether a day passes depends only on its place in its year and on the
// kind of that year (leap or not, and the weekday it begins on), so the
// fourteen kinds of year stand for every year there is; with BYWEEKNO, the
// first days of a year also on whether the year before was a leap year,
// and the tables then hold the days that pass in some year of the kind. The rule's parts
// must be valid for its FREQ (RecurrenceCheck says whether they are).
class RecurrenceDayFilter {
public:
    RecurrenceDayFilter(const icalrecurrencetype& rule, const RecurrenceDay& start);

    // Whether the rule lets every day through.
    bool passesEveryDay() const { return passesEveryDay_; }
    bool passes(const RecurrenceDay& day) const;

    // Whether any day of any year passes.
    bool passesSomeDay() const;
    // Whether any day of that year, or of that month, passes.
    bool passesSomeDayIn(int year) const;
    bool passesSomeDayIn(int year, int month) const;
    // How many days of that year, or of that month, pass; with BYWEEKNO
    // at most that many (see countsAreExact).
    int passingDaysIn(int year) const;
    int passingDaysIn(int year, int month) const;

    // Whether passingDaysIn() counts exactly.
    bool countsAreExact() const { return !weekNumbers_.any(); }

    // The most days that pass in any one week, month or year.
    int mostPassingDaysInAWeek() const;
    int mostPassingDaysInAMonth() const;
    int mostPassingDaysInAYear() const;

    // Whether the rule lets days of this month through at all, without
    // looking at its days.
    bool namesMonth(int month) const;

    // Whether some day from `first` through `last` passes. Once a rule has
    // shown it passes rarely, months and years without a passing day are
    // passed in one step each; after `maximumSteps` steps the answer is yes.
    bool passesSomeDayBetween(const RecurrenceDay& first, const RecurrenceDay& last, int maximumSteps) const;

    // One of fourteen: leap or not, and the weekday of 1 January.
    static int kindOfYear(int year);
    // Whether the day at this place (from 1) in a year of this kind passes.
    bool passesInKind(int kind, int dayOfYear) const;
    // Every place that passes, as kind * 366 + day of the year - 1.
    std::vector<int> passingPlaces() const;

private:
    struct Values {
        std::vector<int> positive;
        std::vector<int> negative;
        bool any() const { return !positive.empty() || !negative.empty(); }
        bool holds(int value, int count) const;
    };
    struct Weekday {
        int weekday = 0;  // 0 Sunday … 6 Saturday
        int position = 0;
    };
    bool evaluate(const RecurrenceDay& day) const;
    void tabulate() const;

    std::vector<int> months_;
    Values monthDays_;
    Values yearDays_;
    Values weekNumbers_;
    std::vector<Weekday> weekdays_;
    bool weekdayInMonth_ = false;
    int weekStart_ = 1;  // 0 Sunday … 6 Saturday
    bool passesEveryDay_ = true;

    // Filled on first use: most rules are only ever asked about a few days.
    mutable bool tabulated_ = false;
    mutable std::bitset<14 * 366> passingInKind_;
    mutable bool passesSomeDay_ = false;
    mutable std::array<std::array<std::uint16_t, 13>, 14> passingInMonth_{};
};

}  // namespace lumenary::platform
