#include "platform/calendar/recurrence_check.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <numeric>
#include <optional>
#include <vector>
#include <strings.h>

#include "platform/calendar/recurrence_day_filter.hpp"
#include "platform/calendar/day_by_day_recurrence.hpp"

namespace lumenary::platform {

namespace {

constexpr std::int64_t daysInCycle = 146'097;
constexpr std::int64_t weeksInCycle = daysInCycle / 7;
constexpr std::int64_t monthsInCycle = 400 * 12;
// Days looked at one by one before the rule's table of the fourteen kinds
// of year is made: most rules that do not hold on their start hold on one
// of the days after it.
constexpr int daysTestedBeforeTable = 16;

bool namesAny(const short* values) {
    return values[0] != ICAL_RECURRENCE_ARRAY_MAX;
}

// Where each year of the 400 from 2000 on begins, as days from 2000-01-01,
// by kind of year.
const std::array<std::vector<std::int64_t>, 14>& yearStartsByKind() {
    static const std::array<std::vector<std::int64_t>, 14> starts = [] {
        std::array<std::vector<std::int64_t>, 14> table;
        std::int64_t start = 0;
        for (int year = 2000; year < 2400; ++year) {
            table[static_cast<std::size_t>(RecurrenceDayFilter::kindOfYear(year))].push_back(start);
            start += std::chrono::year(year).is_leap() ? 366 : 365;
        }
        return table;
    }();
    return starts;
}

std::int64_t cycleIndexOf(std::int64_t dayNumber) {
    static const std::int64_t cycleStart = dayNumberOf({.year = 2000, .month = 1, .day = 1});
    return ((dayNumber - cycleStart) % daysInCycle + daysInCycle) % daysInCycle;
}

// Whether a day the rule reaches passes. The first `daysTestedBeforeTable` of
// the days `reached` yields (days after `firstDay`) are looked at one by
// one; past them, the cycle's passing days are looked up and `isReached`
// (their distance from `firstDay` within the cycle) says whether the rule
// reaches one, so a rule that never holds costs one pass over its table.
template <typename Reached, typename IsReached>
bool somePasses(const RecurrenceDayFilter& filter, std::int64_t firstDay, Reached reached, IsReached isReached) {
    for (int count = 0; count < daysTestedBeforeTable; ++count) {
        if (filter.passes(recurrenceDayOf(firstDay + reached(count)))) {
            return true;
        }
    }
    if (!filter.passesSomeDay()) {
        return false;
    }
    const std::int64_t firstIndex = cycleIndexOf(firstDay);
    for (const int place : filter.passingPlaces()) {
        for (const std::int64_t yearStart : yearStartsByKind()[static_cast<std::size_t>(place / 366)]) {
            if (isReached(((yearStart + place % 366 - firstIndex) % daysInCycle + daysInCycle) % daysInCycle)) {
                return true;
            }
        }
    }
    return false;
}

// Whether any day the rule's FREQ and INTERVAL can reach from its start
// passes, over one 400-year cycle.
bool someReachableDayPasses(const icalrecurrencetype& rule, const RecurrenceDay& start, const RecurrenceDayFilter& filter) {
    const std::int64_t interval = std::max<std::int64_t>(1, rule.interval);
    const std::int64_t startDay = dayNumberOf(start);
    switch (rule.freq) {
        case ICAL_YEARLY_RECURRENCE: {
            const std::int64_t step = std::gcd(interval, std::int64_t{400});
            if (step == 1) {
                return filter.passesSomeDay();
            }
            for (std::int64_t year = start.year; year < start.year + 400; year += step) {
                if (filter.passesSomeDayIn(static_cast<int>(year))) {
                    return true;
                }
            }
            return false;
        }
        case ICAL_MONTHLY_RECURRENCE: {
            const std::int64_t step = std::gcd(interval, monthsInCycle);
            if (step == 1) {
                return filter.passesSomeDay();
            }
            const std::int64_t first = std::int64_t{start.year} * 12 + start.month - 1;
            for (std::int64_t month = first; month < first + monthsInCycle; month += step) {
                if (filter.passesSomeDayIn(static_cast<int>(month / 12), static_cast<int>(month % 12) + 1)) {
                    return true;
                }
            }
            return false;
        }
        case ICAL_WEEKLY_RECURRENCE: {
            const std::int64_t step = std::gcd(interval, weeksInCycle) * 7;
            const int weekStart = rule.week_start == ICAL_NO_WEEKDAY ? 1 : rule.week_start - ICAL_SUNDAY_WEEKDAY;
            const int startWeekday = static_cast<int>(std::chrono::weekday(std::chrono::sys_days(std::chrono::days(startDay))).c_encoding());
            const std::int64_t firstWeek = startDay - (startWeekday - weekStart + 7) % 7;
            return somePasses(
                filter, firstWeek, [&](int count) { return count / 7 * step + count % 7; },
                [&](std::int64_t distance) { return distance % step < 7; });
        }
        default: {
            // Daily, and the days a rule that repeats within a day reaches:
            // every one, since its period is at most a day long.
            const std::int64_t step =
                rule.freq == ICAL_DAILY_RECURRENCE ? std::gcd(interval, daysInCycle) : std::int64_t{1};
            if (step == 1) {
                return filter.passesSomeDay();
            }
            return somePasses(
                filter, startDay, [&](int count) { return count * step; },
                [&](std::int64_t distance) { return distance % step == 0; });
        }
    }
}

bool hasValidValue(const short* values, std::size_t size, int highest) {
    for (std::size_t index = 0; index < size && values[index] != ICAL_RECURRENCE_ARRAY_MAX; ++index) {
        if (values[index] >= 0 && values[index] <= highest) {
            return true;
        }
    }
    return false;
}

template <std::size_t Size>
bool timeListHolds(const short (&values)[Size], int highest) {
    return !namesAny(values) || hasValidValue(values, Size, highest);
}

bool hasNumberedWeekday(const icalrecurrencetype& rule) {
    for (std::size_t index = 0; index < ICAL_BY_DAY_SIZE && rule.by_day[index] != ICAL_RECURRENCE_ARRAY_MAX; ++index) {
        if (icalrecurrencetype_day_position(rule.by_day[index]) != 0) {
            return true;
        }
    }
    return false;
}

RecurrenceCheck notExpandable(std::string reason) {
    return {.verdict = RecurrenceVerdict::notExpandable, .reason = std::move(reason)};
}

// The parts RFC 5545 does not allow with the rule's FREQ, and those this
// reader does not expand.
std::optional<RecurrenceCheck> unexpandablePart(const icalrecurrencetype& rule, const icaltimetype& start) {
    if (rule.freq == ICAL_NO_RECURRENCE) {
        return notExpandable("it has no FREQ");
    }
    if (rule.rscale != nullptr && ::strcasecmp(rule.rscale, "GREGORIAN") != 0) {
        return notExpandable("its RSCALE is not GREGORIAN");
    }
    if (rule.skip != ICAL_SKIP_OMIT) {
        return notExpandable("it has a SKIP");
    }
    if (rule.interval < 1) {
        return notExpandable("its INTERVAL is not positive");
    }
    const std::string freq = std::string("FREQ=") + icalrecur_freq_to_string(rule.freq);
    if (hasNumberedWeekday(rule) &&
        ((rule.freq != ICAL_MONTHLY_RECURRENCE && rule.freq != ICAL_YEARLY_RECURRENCE) || namesAny(rule.by_week_no))) {
        return notExpandable("a numbered BYDAY is not allowed with " + freq + (namesAny(rule.by_week_no) ? " and BYWEEKNO" : ""));
    }
    if (namesAny(rule.by_week_no) && rule.freq != ICAL_YEARLY_RECURRENCE) {
        return notExpandable("BYWEEKNO is not allowed with " + freq);
    }
    if (namesAny(rule.by_year_day) && (rule.freq == ICAL_DAILY_RECURRENCE || rule.freq == ICAL_WEEKLY_RECURRENCE ||
                                       rule.freq == ICAL_MONTHLY_RECURRENCE)) {
        return notExpandable("BYYEARDAY is not allowed with " + freq);
    }
    if (namesAny(rule.by_month_day) && rule.freq == ICAL_WEEKLY_RECURRENCE) {
        return notExpandable("BYMONTHDAY is not allowed with " + freq);
    }
    if (isSubDaily(rule) && start.is_date) {
        return notExpandable(freq + " cannot repeat an all-day event");
    }
    return std::nullopt;
}

}  // namespace

bool isSubDaily(const icalrecurrencetype& rule) {
    return rule.freq == ICAL_SECONDLY_RECURRENCE || rule.freq == ICAL_MINUTELY_RECURRENCE ||
           rule.freq == ICAL_HOURLY_RECURRENCE;
}

RecurrenceCheck checkRecurrence(const icalrecurrencetype& rule, const icaltimetype& start) {
    if (auto refused = unexpandablePart(rule, start)) {
        return *refused;
    }
    const RecurrenceCheck never{.verdict = RecurrenceVerdict::neverHolds, .reason = "its BY parts can never all hold"};
    if (!timeListHolds(rule.by_hour, 23) || !timeListHolds(rule.by_minute, 59) || !timeListHolds(rule.by_second, 59)) {
        return never;
    }
    if (start.year < 1 || start.year > 9999 || start.month < 1 || start.month > 12 || start.day < 1 || start.day > 31) {
        return notExpandable("its start is not a date between the years 1 and 9999");
    }
    const RecurrenceDay startDay{.year = start.year, .month = start.month, .day = start.day};
    const RecurrenceDayFilter filter(rule, startDay);
    if (!filter.passes(startDay) && !someReachableDayPasses(rule, startDay, filter)) {
        return never;
    }
    const DayByDayRecurrence recurrence(rule, start);
    if (!recurrence.holdsAtSomeTimeOfDay() || !recurrence.setPositionsCanPick()) {
        return never;
    }
    return {};
}

}  // namespace lumenary::platform
