#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <libical/ical.h>

#include "platform/calendar/recurrence_day_filter.hpp"

namespace lumenary::platform {

// The instances of a rule that repeats every so many days, hours, minutes
// or seconds, found day by day: the days its day-level parts let through
// and, within each, the times its BYHOUR, BYMINUTE and BYSECOND name (or
// take from its start) that fall in a period its INTERVAL reaches from the
// start. libical steps such a rule one period at a time from its start, so
// a rule limited to 29 February costs it every second of every year; here
// it costs a step per day looked at, and once a rule has shown it holds
// rarely, one per month or year that holds no passing day. Times are fields
// on the clock of the start's zone, as libical steps them; a rule that
// starts on a date gives dates. The rule must have passed RecurrenceCheck,
// and have no BYSETPOS.
class DayByDayRecurrence {
public:
    DayByDayRecurrence(const icalrecurrencetype& rule, const icaltimetype& start);

    // Whether some time of day is in the rule's lists and in a period its
    // INTERVAL reaches. Answers true when the periods do not divide a day
    // evenly, where the answer depends on the day.
    bool holdsAtSomeTimeOfDay() const;

    // Visits the instances at or after `from` (fields on the start's clock)
    // in order, until `visit` answers false, the rule ends (UNTIL, COUNT or
    // the year 9999), the days looked at are a day past `before`, or
    // `maximumSteps` days and times have been looked at. COUNT counts from
    // the start: whole days before `from` are counted at once when INTERVAL
    // is 1, and one instance at a time otherwise.
    void expand(const icaltimetype& from, const std::optional<icaltimetype>& before, int maximumSteps,
                const std::function<bool(const icaltimetype&)>& visit) const;

private:
    struct TimeOfDay {
        int hour = 0;
        int minute = 0;
        int second = 0;
        int seconds() const { return hour * 3600 + minute * 60 + second; }
    };
    // The first time in the lists at or after `seconds` into a day.
    std::optional<TimeOfDay> firstTimeFrom(int seconds) const;
    bool isInReachedPeriod(std::int64_t wallSecond) const;
    std::int64_t timesPerDay() const;
    icaltimetype instantAt(std::int64_t wallSecond) const;

    RecurrenceDayFilter days_;
    std::vector<int> hours_;
    std::vector<int> minutes_;
    std::vector<int> seconds_;
    // Seconds in one period: a day, an hour, a minute or one.
    std::int64_t period_ = 1;
    std::int64_t interval_ = 1;
    std::int64_t startSecond_ = 0;
    std::int64_t count_ = 0;
    std::optional<std::int64_t> untilSecond_;
    const icaltimezone* zone_ = nullptr;
    bool givesDates_ = false;
};

}  // namespace lumenary::platform
