#include "platform/calendar/day_by_day_recurrence.hpp"

#include <algorithm>
#include <chrono>
#include <limits>

#include "platform/calendar/ical_time.hpp"

namespace lumenary::platform {

namespace {

constexpr std::int64_t secondsPerDay = 24 * 60 * 60;
// Days looked at one by one before the rule's table of the fourteen kinds
// of year is made to pass whole months and years: most rules hold on one
// of their first days.
constexpr int daysTestedBeforeSkipping = 64;

std::int64_t floorDivision(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

std::int64_t dayNumberOf(int year, int month, int day) {
    return platform::dayNumberOf({.year = year, .month = month, .day = day});
}

// Seconds since 1970-01-01 00:00 of the fields as written, whatever the zone.
std::int64_t wallSecondOf(const icaltimetype& time) {
    return dayNumberOf(time.year, time.month, time.day) * secondsPerDay + time.hour * 3600 + time.minute * 60 + time.second;
}

template <std::size_t Size>
std::vector<int> timeList(const short (&values)[Size], int highest, int whenUnlisted, bool everyWhenUnlisted) {
    std::vector<int> list;
    for (std::size_t index = 0; index < Size && values[index] != ICAL_RECURRENCE_ARRAY_MAX; ++index) {
        if (values[index] >= 0 && values[index] <= highest) {
            list.push_back(values[index]);
        }
    }
    if (values[0] == ICAL_RECURRENCE_ARRAY_MAX) {
        if (everyWhenUnlisted) {
            for (int value = 0; value <= highest; ++value) {
                list.push_back(value);
            }
        } else {
            list.push_back(whenUnlisted);
        }
    }
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    return list;
}

// The last second of UNTIL on the clock of the start's zone.
std::optional<std::int64_t> untilSecondOf(const icaltimetype& until, const icaltimetype& start) {
    if (icaltime_is_null_time(until)) {
        return std::nullopt;
    }
    if (until.is_date) {
        return dayNumberOf(until.year, until.month, until.day) * secondsPerDay + secondsPerDay - 1;
    }
    if (!icaltime_is_utc(until)) {
        return wallSecondOf(until);
    }
    if (start.zone != nullptr) {
        return wallSecondOf(icaltime_convert_to_zone(until, const_cast<icaltimezone*>(start.zone)));
    }
    const auto instant = instantOfICalTime(until);
    if (!instant) {
        return wallSecondOf(until);
    }
    const LocalWallClock clock = localWallClockAt(*instant);
    return dayNumberOf(clock.year, clock.month, clock.day) * secondsPerDay + clock.hour * 3600 + clock.minute * 60 +
           clock.second;
}

}  // namespace

DayByDayRecurrence::DayByDayRecurrence(const icalrecurrencetype& rule, const icaltimetype& start)
    : days_(rule, {.year = start.year, .month = start.month, .day = start.day}),
      hours_(timeList(rule.by_hour, 23, start.hour, rule.freq != ICAL_DAILY_RECURRENCE)),
      minutes_(timeList(rule.by_minute, 59, start.minute,
                        rule.freq == ICAL_MINUTELY_RECURRENCE || rule.freq == ICAL_SECONDLY_RECURRENCE)),
      seconds_(timeList(rule.by_second, 59, start.second, rule.freq == ICAL_SECONDLY_RECURRENCE)),
      period_(rule.freq == ICAL_DAILY_RECURRENCE    ? secondsPerDay
              : rule.freq == ICAL_HOURLY_RECURRENCE ? 3600
              : rule.freq == ICAL_MINUTELY_RECURRENCE ? 60
                                                      : 1),
      interval_(std::max<std::int64_t>(1, rule.interval)),
      startSecond_(wallSecondOf(start)),
      count_(std::max(0, rule.count)),
      untilSecond_(untilSecondOf(rule.until, start)),
      zone_(start.zone),
      givesDates_(start.is_date != 0) {
    if (givesDates_) {
        // A date has no time of day: one instance a day.
        hours_ = {0};
        minutes_ = {0};
        seconds_ = {0};
    }
}

bool DayByDayRecurrence::isInReachedPeriod(std::int64_t wallSecond) const {
    const std::int64_t behind = floorDivision(wallSecond, period_) - floorDivision(startSecond_, period_);
    return behind % interval_ == 0;
}

std::int64_t DayByDayRecurrence::timesPerDay() const {
    return static_cast<std::int64_t>(hours_.size() * minutes_.size() * seconds_.size());
}

bool DayByDayRecurrence::holdsAtSomeTimeOfDay() const {
    if (secondsPerDay % (period_ * interval_) != 0) {
        return true;
    }
    // Every day then begins a reached period or one the same distance from
    // it, so the time of day alone decides.
    for (const int hour : hours_) {
        for (const int minute : minutes_) {
            for (const int second : seconds_) {
                if (isInReachedPeriod(startSecond_ - startSecond_ % secondsPerDay + hour * 3600 + minute * 60 + second)) {
                    return true;
                }
            }
        }
    }
    return false;
}

std::optional<DayByDayRecurrence::TimeOfDay> DayByDayRecurrence::firstTimeFrom(int secondOfDay) const {
    const int hour = secondOfDay / 3600;
    const int minute = secondOfDay / 60 % 60;
    const int second = secondOfDay % 60;
    for (auto hours = std::lower_bound(hours_.begin(), hours_.end(), hour); hours != hours_.end(); ++hours) {
        const bool sameHour = *hours == hour;
        for (auto minutes = std::lower_bound(minutes_.begin(), minutes_.end(), sameHour ? minute : 0);
             minutes != minutes_.end(); ++minutes) {
            const bool sameMinute = sameHour && *minutes == minute;
            const auto seconds = std::lower_bound(seconds_.begin(), seconds_.end(), sameMinute ? second : 0);
            if (seconds != seconds_.end()) {
                return TimeOfDay{.hour = *hours, .minute = *minutes, .second = *seconds};
            }
        }
    }
    return std::nullopt;
}

icaltimetype DayByDayRecurrence::instantAt(std::int64_t wallSecond) const {
    const std::int64_t dayNumber = floorDivision(wallSecond, secondsPerDay);
    const RecurrenceDay day = recurrenceDayOf(dayNumber);
    const auto secondOfDay = static_cast<int>(wallSecond - dayNumber * secondsPerDay);
    icaltimetype time = icaltime_null_time();
    time.year = day.year;
    time.month = day.month;
    time.day = day.day;
    time.hour = secondOfDay / 3600;
    time.minute = secondOfDay / 60 % 60;
    time.second = secondOfDay % 60;
    time.zone = zone_;
    time.is_date = givesDates_ ? 1 : 0;
    return time;
}

void DayByDayRecurrence::expand(const icaltimetype& from, const std::optional<icaltimetype>& before, int maximumSteps,
                                const std::function<bool(const icaltimetype&)>& visit) const {
    const std::int64_t fromSecond = wallSecondOf(from);
    const bool counting = count_ > 0;
    // A rule that holds rarely would otherwise look at the days after the
    // range up to its next instance; a day more covers a change of offset.
    const std::int64_t lastSecond =
        std::min(dayNumberOf(9999, 12, 31) * secondsPerDay + secondsPerDay - 1,
                 before ? wallSecondOf(*before) + secondsPerDay : std::numeric_limits<std::int64_t>::max());
    std::int64_t lower = counting ? startSecond_ : std::max(startSecond_, fromSecond);
    std::int64_t counted = 0;
    int steps = 0;
    int daysTested = 0;
    while (steps++ < maximumSteps && lower <= lastSecond && (!untilSecond_ || lower <= *untilSecond_)) {
        const std::int64_t dayFrom = lower;
        const std::int64_t dayNumber = floorDivision(lower, secondsPerDay);
        const std::int64_t dayStart = dayNumber * secondsPerDay;
        const RecurrenceDay day = recurrenceDayOf(dayNumber);
        const auto nextMonth = [&] {
            return dayNumberOf(day.month == 12 ? day.year + 1 : day.year, day.month % 12 + 1, 1) * secondsPerDay;
        };
        const auto nextYear = [&] { return dayNumberOf(day.year + 1, 1, 1) * secondsPerDay; };
        const bool rare = daysTested >= daysTestedBeforeSkipping;
        if (rare && !days_.passesSomeDay()) {
            return;
        }
        if (rare && !days_.passesSomeDayIn(day.year)) {
            lower = nextYear();
            continue;
        }
        if (!days_.namesMonth(day.month) || (rare && !days_.passesSomeDayIn(day.year, day.month))) {
            lower = nextMonth();
            continue;
        }
        // With COUNT and every period reached, a whole year before `from`
        // counts its passing days' times at once.
        const bool countsWholeDays = counting && interval_ == 1 && lower == dayStart;
        if (countsWholeDays && rare && day.month == 1 && day.day == 1 && nextYear() <= fromSecond) {
            counted += days_.passingDaysIn(day.year) * timesPerDay();
            if (counted >= count_) {
                return;
            }
            lower = nextYear();
            continue;
        }
        ++daysTested;
        if (!days_.passes(day)) {
            lower = dayStart + secondsPerDay;
            continue;
        }
        if (countsWholeDays && dayStart + secondsPerDay <= fromSecond) {
            counted += timesPerDay();
            if (counted >= count_) {
                return;
            }
            lower = dayStart + secondsPerDay;
            continue;
        }
        // Within the day, from where the search stood.
        lower = dayStart + secondsPerDay;
        for (auto secondOfDay = static_cast<int>(dayFrom - dayStart);;) {
            const auto time = firstTimeFrom(secondOfDay);
            if (!time) {
                break;
            }
            const std::int64_t at = dayStart + time->seconds();
            if ((untilSecond_ && at > *untilSecond_) || steps++ >= maximumSteps) {
                return;
            }
            if (!isInReachedPeriod(at)) {
                // On to the next period the INTERVAL reaches.
                const std::int64_t period = floorDivision(at, period_);
                const std::int64_t behind = (period - floorDivision(startSecond_, period_)) % interval_;
                const std::int64_t next = (period + (interval_ - (behind + interval_) % interval_)) * period_;
                if (next >= dayStart + secondsPerDay) {
                    lower = next;
                    break;
                }
                secondOfDay = static_cast<int>(next - dayStart);
                continue;
            }
            if (counting && ++counted > count_) {
                return;
            }
            if (at >= fromSecond && !visit(instantAt(at))) {
                return;
            }
            secondOfDay = time->seconds() + 1;
        }
    }
}

}  // namespace lumenary::platform
