#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <libical/ical.h>

#include "platform/calendar/recurrence_day_filter.hpp"

namespace lumenary::platform {

// The instances of a repeat rule, found day by day as RFC 5545 §3.3.10
// gives them: the days its day-level parts let through and, within each,
// the times its BYHOUR, BYMINUTE and BYSECOND name (or take from its
// start), in the periods (years, months, weeks of its WKST, days, hours,
// minutes or seconds, as its FREQ says) that its INTERVAL reaches from the
// start. With BYSETPOS, each reached period's whole set of instances, times
// of day included and those before the start too, is formed first and the
// positions picked from it; the start then bounds what is given.
//
// libical steps a rule one period at a time from its start, so a rule
// limited to 29 February costs it every second of every year, and it gets
// BYSETPOS, BYWEEKNO and negative parts of some rules wrong; here a rule
// costs a step per day looked at and, once it has shown it holds rarely, one
// per month or year that holds no passing day. Times are fields on the clock
// of the start's zone; a rule that starts on a date gives dates. UNTIL is
// an instant that each instance's own instant is held to (a date, the end
// of that day); a rule that gives dates compares dates. The rule must have
// passed RecurrenceCheck.
class DayByDayRecurrence {
public:
    DayByDayRecurrence(const icalrecurrencetype& rule, const icaltimetype& start);

    // Whether some time of day is in the rule's lists, is picked by its
    // BYSETPOS from its period's set, and is in a period its INTERVAL
    // reaches. Answers true when the periods do not divide a day evenly,
    // where the answer depends on the day.
    bool holdsAtSomeTimeOfDay() const;

    // Whether one of the rule's BYSETPOS values can pick an instance from
    // the largest set a period can hold (true without BYSETPOS).
    bool setPositionsCanPick() const;

    // Visits the instances at or after `from` (fields on the start's clock)
    // in the clock's order, until `visit` answers false, the rule ends
    // (UNTIL, COUNT or the year 9999), the days looked at are a day past
    // `before`, or `maximumSteps` days and times have been looked at. COUNT
    // counts from the start: whole days before `from` are counted at once
    // when INTERVAL is 1, and one instance at a time otherwise.
    void expand(const icaltimetype& from, const std::optional<icaltimetype>& before, int maximumSteps,
                const std::function<bool(const icaltimetype&)>& visit) const;

private:
    struct TimeOfDay {
        int hour = 0;
        int minute = 0;
        int second = 0;
        int seconds() const { return hour * 3600 + minute * 60 + second; }
    };
    struct Bounds;
    // UNTIL bounds the instances' instants. Near a change of offset a
    // later time on the clock may be an earlier instant: the instances up
    // to `surelyWithin` on the clock are within it, none past `last` is,
    // and each one between is read on the clock to tell. A rule that gives
    // dates compares dates.
    struct Until {
        std::int64_t instant = 0;
        std::int64_t surelyWithin = 0;
        std::int64_t last = 0;
    };

    std::optional<Until> untilOf(const icaltimetype& until) const;
    bool isPastUntil(std::int64_t wallSecond) const;

    // The first time of the rule's times of day at or after `seconds` into
    // a day.
    std::optional<TimeOfDay> firstTimeFrom(int seconds) const;
    // The time of day at this place (from 0) in the rule's times of day,
    // for a rule of a day or longer.
    int secondOfDayAt(std::int64_t place) const;
    std::int64_t timesPerDay() const;

    std::int64_t periodOf(std::int64_t wallSecond) const;
    std::int64_t firstSecondOfPeriod(std::int64_t period) const;
    bool isInReachedPeriod(std::int64_t wallSecond) const;
    // The first second of the first reached period after the one this
    // second is in (of this one when it is reached and `orThis`).
    std::int64_t nextReachedPeriodStart(std::int64_t wallSecond, bool orThis) const;
    icaltimetype instantAt(std::int64_t wallSecond) const;

    void expandEach(const Bounds& bounds, const std::function<bool(const icaltimetype&)>& visit) const;
    void expandBySetPosition(const Bounds& bounds, const std::function<bool(const icaltimetype&)>& visit) const;

    RecurrenceDayFilter days_;
    icalrecurrencetype_frequency frequency_ = ICAL_DAILY_RECURRENCE;
    std::vector<int> hours_;
    std::vector<int> minutes_;
    std::vector<int> seconds_;
    // A rule that repeats hourly with BYSETPOS picks minutes and seconds
    // within each hour that need not be every pairing of the two lists:
    // seconds into the hour, in place of them.
    std::optional<std::vector<int>> secondsIntoHour_;
    // The BYSETPOS values of a rule of a day or longer.
    std::vector<int> setPositions_;
    // Where the rule's weeks begin, as a day number modulo 7.
    std::int64_t weekAnchor_ = 0;
    std::int64_t interval_ = 1;
    std::int64_t startSecond_ = 0;
    std::int64_t startPeriod_ = 0;
    std::int64_t count_ = 0;
    std::optional<Until> until_;
    const icaltimezone* zone_ = nullptr;
    bool givesDates_ = false;
    // Set when BYSETPOS can never pick from a sub-daily period's set.
    bool picksNothing_ = false;
};

}  // namespace lumenary::platform
