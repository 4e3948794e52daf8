#include "platform/calendar/day_by_day_recurrence.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>

#include "platform/calendar/ical_time.hpp"
#include "platform/calendar/zone_clock.hpp"

namespace lumenary::platform {

namespace {

constexpr std::int64_t secondsPerDay = 24 * 60 * 60;
// Days looked at one by one before the rule's table of the fourteen kinds
// of year is made to pass whole months and years: most rules hold on one
// of their first days.
constexpr int daysTestedBeforeSkipping = 64;
// Past the last day a date-time can name: where a period that would begin
// later is taken to begin.
constexpr int yearPastTheLast = 10'000;

std::int64_t floorDivision(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

std::int64_t floorModulo(std::int64_t value, std::int64_t divisor) {
    return value - floorDivision(value, divisor) * divisor;
}

std::int64_t dayNumberOf(int year, int month, int day) {
    return platform::dayNumberOf({.year = year, .month = month, .day = day});
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

std::vector<int> setPositionsOf(const icalrecurrencetype& rule) {
    std::vector<int> positions;
    for (std::size_t index = 0; index < ICAL_BY_SETPOS_SIZE && rule.by_set_pos[index] != ICAL_RECURRENCE_ARRAY_MAX;
         ++index) {
        if (rule.by_set_pos[index] != 0) {
            positions.push_back(rule.by_set_pos[index]);
        }
    }
    return positions;
}

// The place (from 0) in a set of `size` that a BYSETPOS value names, if any.
std::optional<std::int64_t> placeOfPosition(int position, std::int64_t size) {
    const std::int64_t place = position > 0 ? position - 1 : size + position;
    return place >= 0 && place < size ? std::optional(place) : std::nullopt;
}

std::vector<int> pickedFrom(const std::vector<int>& set, const std::vector<int>& positions) {
    std::vector<int> picked;
    for (const int position : positions) {
        if (const auto place = placeOfPosition(position, static_cast<std::int64_t>(set.size()))) {
            picked.push_back(set[static_cast<std::size_t>(*place)]);
        }
    }
    std::sort(picked.begin(), picked.end());
    picked.erase(std::unique(picked.begin(), picked.end()), picked.end());
    return picked;
}

bool isSubDailyFrequency(icalrecurrencetype_frequency frequency) {
    return frequency == ICAL_HOURLY_RECURRENCE || frequency == ICAL_MINUTELY_RECURRENCE ||
           frequency == ICAL_SECONDLY_RECURRENCE;
}

}  // namespace

struct DayByDayRecurrence::Bounds {
    std::int64_t fromSecond = 0;
    // Nothing at or after it is looked for.
    std::int64_t lastSecond = 0;
    int maximumSteps = 0;
};

DayByDayRecurrence::DayByDayRecurrence(const icalrecurrencetype& rule, const icaltimetype& start)
    : days_(rule, {.year = start.year, .month = start.month, .day = start.day}),
      frequency_(rule.freq),
      hours_(timeList(rule.by_hour, 23, start.hour, isSubDailyFrequency(rule.freq))),
      minutes_(timeList(rule.by_minute, 59, start.minute,
                        rule.freq == ICAL_MINUTELY_RECURRENCE || rule.freq == ICAL_SECONDLY_RECURRENCE)),
      seconds_(timeList(rule.by_second, 59, start.second, rule.freq == ICAL_SECONDLY_RECURRENCE)),
      interval_(std::max<std::int64_t>(1, rule.interval)),
      startSecond_(wallSecondOf(start)),
      count_(std::max(0, rule.count)),
      zone_(start.zone),
      givesDates_(start.is_date != 0) {
    until_ = untilOf(rule.until);
    if (givesDates_) {
        // A date has no time of day: one instance a day.
        hours_ = {0};
        minutes_ = {0};
        seconds_ = {0};
    }
    const int weekStart =
        (rule.week_start == ICAL_NO_WEEKDAY ? ICAL_MONDAY_WEEKDAY : rule.week_start) - ICAL_SUNDAY_WEEKDAY;
    // Day 0, 1 January 1970, was a Thursday.
    weekAnchor_ = floorModulo(weekStart - 4, 7);
    startPeriod_ = periodOf(startSecond_);

    const std::vector<int> positions = setPositionsOf(rule);
    if (positions.empty()) {
        return;
    }
    // A period shorter than a day holds the same set in every hour or
    // minute that passes: the picked times stand in for the lists.
    switch (frequency_) {
        case ICAL_HOURLY_RECURRENCE: {
            std::vector<int> set;
            for (const int minute : minutes_) {
                for (const int second : seconds_) {
                    set.push_back(minute * 60 + second);
                }
            }
            secondsIntoHour_ = pickedFrom(set, positions);
            picksNothing_ = secondsIntoHour_->empty();
            break;
        }
        case ICAL_MINUTELY_RECURRENCE:
            seconds_ = pickedFrom(seconds_, positions);
            picksNothing_ = seconds_.empty();
            break;
        case ICAL_SECONDLY_RECURRENCE:
            picksNothing_ = pickedFrom({0}, positions).empty();
            if (picksNothing_) {
                seconds_.clear();
            }
            break;
        default: setPositions_ = positions; break;
    }
}

std::optional<DayByDayRecurrence::Until> DayByDayRecurrence::untilOf(const icaltimetype& until) const {
    if (icaltime_is_null_time(until)) {
        return std::nullopt;
    }
    const ZoneClock clock(zone_);
    // A date takes in its whole day; a time without Z is on the start's clock.
    const std::int64_t wallSecond = until.is_date ? dayNumberOf(until.year, until.month, until.day) * secondsPerDay +
                                                        secondsPerDay - 1
                                                  : wallSecondOf(until);
    const bool isUTC = !until.is_date && icaltime_is_utc(until);
    if (givesDates_) {
        const std::int64_t last = isUTC ? clock.wallSecondAt(wallSecond) : wallSecond;
        return Until{.instant = 0, .surelyWithin = last, .last = last};
    }
    const std::int64_t instant = isUTC ? wallSecond : clock.instantOf(wallSecond);
    const ZoneClock::OffsetSpan offsets = clock.offsetsNear(instant);
    return Until{.instant = instant, .surelyWithin = instant + offsets.least, .last = instant + offsets.most};
}

bool DayByDayRecurrence::isPastUntil(std::int64_t wallSecond) const {
    return until_ && wallSecond > until_->surelyWithin &&
           (wallSecond > until_->last || ZoneClock(zone_).instantOf(wallSecond) > until_->instant);
}

std::int64_t DayByDayRecurrence::periodOf(std::int64_t wallSecond) const {
    switch (frequency_) {
        case ICAL_SECONDLY_RECURRENCE: return wallSecond;
        case ICAL_MINUTELY_RECURRENCE: return floorDivision(wallSecond, 60);
        case ICAL_HOURLY_RECURRENCE: return floorDivision(wallSecond, 3600);
        case ICAL_WEEKLY_RECURRENCE: return floorDivision(floorDivision(wallSecond, secondsPerDay) - weekAnchor_, 7);
        case ICAL_MONTHLY_RECURRENCE: {
            const RecurrenceDay day = recurrenceDayOf(floorDivision(wallSecond, secondsPerDay));
            return std::int64_t{day.year} * 12 + day.month - 1;
        }
        case ICAL_YEARLY_RECURRENCE: return recurrenceDayOf(floorDivision(wallSecond, secondsPerDay)).year;
        default: return floorDivision(wallSecond, secondsPerDay);
    }
}

std::int64_t DayByDayRecurrence::firstSecondOfPeriod(std::int64_t period) const {
    const auto yearStart = [](std::int64_t year, int month) {
        return year >= yearPastTheLast ? dayNumberOf(yearPastTheLast, 1, 1) * secondsPerDay
                                       : dayNumberOf(static_cast<int>(year), month, 1) * secondsPerDay;
    };
    switch (frequency_) {
        case ICAL_SECONDLY_RECURRENCE: return period;
        case ICAL_MINUTELY_RECURRENCE: return period * 60;
        case ICAL_HOURLY_RECURRENCE: return period * 3600;
        case ICAL_WEEKLY_RECURRENCE: return (period * 7 + weekAnchor_) * secondsPerDay;
        case ICAL_MONTHLY_RECURRENCE:
            return yearStart(floorDivision(period, 12), static_cast<int>(floorModulo(period, 12)) + 1);
        case ICAL_YEARLY_RECURRENCE: return yearStart(period, 1);
        default: return period * secondsPerDay;
    }
}

bool DayByDayRecurrence::isInReachedPeriod(std::int64_t wallSecond) const {
    return floorModulo(periodOf(wallSecond) - startPeriod_, interval_) == 0;
}

std::int64_t DayByDayRecurrence::nextReachedPeriodStart(std::int64_t wallSecond, bool orThis) const {
    const std::int64_t period = periodOf(wallSecond);
    const std::int64_t behind = floorModulo(period - startPeriod_, interval_);
    if (behind == 0 && orThis) {
        return wallSecond;
    }
    return firstSecondOfPeriod(period + interval_ - behind);
}

std::int64_t DayByDayRecurrence::timesPerDay() const {
    if (secondsIntoHour_) {
        return static_cast<std::int64_t>(hours_.size() * secondsIntoHour_->size());
    }
    return static_cast<std::int64_t>(hours_.size() * minutes_.size() * seconds_.size());
}

int DayByDayRecurrence::secondOfDayAt(std::int64_t place) const {
    const auto perHour = static_cast<std::int64_t>(minutes_.size() * seconds_.size());
    const std::int64_t intoHour = place % perHour;
    return hours_[static_cast<std::size_t>(place / perHour)] * 3600 +
           minutes_[static_cast<std::size_t>(intoHour / static_cast<std::int64_t>(seconds_.size()))] * 60 +
           seconds_[static_cast<std::size_t>(intoHour % static_cast<std::int64_t>(seconds_.size()))];
}

bool DayByDayRecurrence::holdsAtSomeTimeOfDay() const {
    if (timesPerDay() == 0) {
        return false;
    }
    const std::int64_t period = firstSecondOfPeriod(startPeriod_ + 1) - firstSecondOfPeriod(startPeriod_);
    if (!isSubDailyFrequency(frequency_) || secondsPerDay % (period * interval_) != 0) {
        return true;
    }
    // Every day then begins a reached period or one the same distance from
    // it, so the time of day alone decides.
    const std::int64_t dayStart = startSecond_ - floorModulo(startSecond_, secondsPerDay);
    for (int secondOfDay = 0;;) {
        const auto time = firstTimeFrom(secondOfDay);
        if (!time) {
            return false;
        }
        if (isInReachedPeriod(dayStart + time->seconds())) {
            return true;
        }
        secondOfDay = time->seconds() + 1;
    }
}

bool DayByDayRecurrence::setPositionsCanPick() const {
    if (setPositions_.empty()) {
        return !picksNothing_;
    }
    std::int64_t mostDays = 1;
    switch (frequency_) {
        case ICAL_WEEKLY_RECURRENCE: mostDays = days_.mostPassingDaysInAWeek(); break;
        case ICAL_MONTHLY_RECURRENCE: mostDays = days_.mostPassingDaysInAMonth(); break;
        case ICAL_YEARLY_RECURRENCE: mostDays = days_.mostPassingDaysInAYear(); break;
        default: break;
    }
    const std::int64_t largestSet = mostDays * timesPerDay();
    return std::any_of(setPositions_.begin(), setPositions_.end(),
                       [&](int position) { return placeOfPosition(position, largestSet).has_value(); });
}

std::optional<DayByDayRecurrence::TimeOfDay> DayByDayRecurrence::firstTimeFrom(int secondOfDay) const {
    const int hour = secondOfDay / 3600;
    const int minute = secondOfDay / 60 % 60;
    const int second = secondOfDay % 60;
    for (auto hours = std::lower_bound(hours_.begin(), hours_.end(), hour); hours != hours_.end(); ++hours) {
        const bool sameHour = *hours == hour;
        if (secondsIntoHour_) {
            const auto into = std::lower_bound(secondsIntoHour_->begin(), secondsIntoHour_->end(),
                                               sameHour ? secondOfDay % 3600 : 0);
            if (into != secondsIntoHour_->end()) {
                return TimeOfDay{.hour = *hours, .minute = *into / 60, .second = *into % 60};
            }
            continue;
        }
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
    icaltimetype time = icalTimeOfWallSecond(wallSecond);
    time.zone = zone_;
    time.is_date = givesDates_ ? 1 : 0;
    return time;
}

void DayByDayRecurrence::expand(const icaltimetype& from, const std::optional<icaltimetype>& before, int maximumSteps,
                                const std::function<bool(const icaltimetype&)>& visit) const {
    // A rule that holds rarely would otherwise look at the days after the
    // range up to its next instance; a day more covers a change of offset.
    const Bounds bounds{
        .fromSecond = wallSecondOf(from),
        .lastSecond = std::min(dayNumberOf(9999, 12, 31) * secondsPerDay + secondsPerDay - 1,
                               before ? wallSecondOf(*before) + secondsPerDay : std::numeric_limits<std::int64_t>::max()),
        .maximumSteps = maximumSteps};
    if (setPositions_.empty()) {
        expandEach(bounds, visit);
    } else {
        expandBySetPosition(bounds, visit);
    }
}

void DayByDayRecurrence::expandEach(const Bounds& bounds, const std::function<bool(const icaltimetype&)>& visit) const {
    const bool counting = count_ > 0;
    const bool periodsLongerThanADay = frequency_ == ICAL_WEEKLY_RECURRENCE || frequency_ == ICAL_MONTHLY_RECURRENCE ||
                                       frequency_ == ICAL_YEARLY_RECURRENCE;
    std::int64_t lower = counting ? startSecond_ : std::max(startSecond_, bounds.fromSecond);
    std::int64_t counted = 0;
    int steps = 0;
    int daysTested = 0;
    while (steps++ < bounds.maximumSteps && lower <= bounds.lastSecond && (!until_ || lower <= until_->last)) {
        const std::int64_t dayFrom = lower;
        const std::int64_t dayNumber = floorDivision(lower, secondsPerDay);
        const std::int64_t dayStart = dayNumber * secondsPerDay;
        const RecurrenceDay day = recurrenceDayOf(dayNumber);
        const auto nextMonth = [&] {
            return dayNumberOf(day.month == 12 ? day.year + 1 : day.year, day.month % 12 + 1, 1) * secondsPerDay;
        };
        const auto nextYear = [&] { return dayNumberOf(day.year + 1, 1, 1) * secondsPerDay; };
        if (periodsLongerThanADay && interval_ > 1 && !isInReachedPeriod(dayStart)) {
            lower = nextReachedPeriodStart(dayStart, false);
            continue;
        }
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
        if (countsWholeDays && rare && days_.countsAreExact() && day.month == 1 && day.day == 1 &&
            nextYear() <= bounds.fromSecond) {
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
        if (countsWholeDays && dayStart + secondsPerDay <= bounds.fromSecond) {
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
            if ((until_ && at > until_->last) || steps++ >= bounds.maximumSteps) {
                return;
            }
            if (!isInReachedPeriod(at)) {
                const std::int64_t next = nextReachedPeriodStart(at, false);
                if (next >= dayStart + secondsPerDay) {
                    lower = next;
                    break;
                }
                secondOfDay = static_cast<int>(next - dayStart);
                continue;
            }
            secondOfDay = time->seconds() + 1;
            if (isPastUntil(at)) {
                continue;
            }
            if (counting && ++counted > count_) {
                return;
            }
            if (at >= bounds.fromSecond && !visit(instantAt(at))) {
                return;
            }
        }
    }
}

void DayByDayRecurrence::expandBySetPosition(const Bounds& bounds,
                                             const std::function<bool(const icaltimetype&)>& visit) const {
    const bool counting = count_ > 0;
    const std::int64_t timesInADay = timesPerDay();
    std::int64_t period = periodOf(
        nextReachedPeriodStart(counting ? startSecond_ : std::max(startSecond_, bounds.fromSecond), true));
    std::int64_t counted = 0;
    int steps = 0;
    int daysTested = 0;
    std::vector<std::int64_t> passingDays;
    std::vector<std::int64_t> picked;
    while (steps < bounds.maximumSteps) {
        const std::int64_t periodStart = firstSecondOfPeriod(period);
        if (periodStart > bounds.lastSecond || (until_ && periodStart > until_->last)) {
            return;
        }
        // The period's whole set: each passing day with each time of day,
        // the days before the start included.
        const std::int64_t endDay = floorDivision(firstSecondOfPeriod(period + 1), secondsPerDay);
        passingDays.clear();
        for (std::int64_t dayNumber = floorDivision(periodStart, secondsPerDay); dayNumber < endDay;) {
            if (steps++ >= bounds.maximumSteps) {
                return;
            }
            const RecurrenceDay day = recurrenceDayOf(dayNumber);
            const bool rare = daysTested >= daysTestedBeforeSkipping;
            if (!days_.namesMonth(day.month) || (rare && !days_.passesSomeDayIn(day.year, day.month))) {
                dayNumber = dayNumberOf(day.month == 12 ? day.year + 1 : day.year, day.month % 12 + 1, 1);
                continue;
            }
            ++daysTested;
            if (days_.passes(day)) {
                passingDays.push_back(dayNumber);
            }
            ++dayNumber;
        }
        const auto setSize = static_cast<std::int64_t>(passingDays.size()) * timesInADay;
        picked.clear();
        for (const int position : setPositions_) {
            if (const auto place = placeOfPosition(position, setSize)) {
                picked.push_back(passingDays[static_cast<std::size_t>(*place / timesInADay)] * secondsPerDay +
                                 secondOfDayAt(*place % timesInADay));
            }
        }
        std::sort(picked.begin(), picked.end());
        picked.erase(std::unique(picked.begin(), picked.end()), picked.end());
        for (const std::int64_t at : picked) {
            if (at < startSecond_) {
                continue;
            }
            if ((until_ && at > until_->last) || at > bounds.lastSecond) {
                return;
            }
            if (isPastUntil(at)) {
                continue;
            }
            if (counting && ++counted > count_) {
                return;
            }
            if (at >= bounds.fromSecond && !visit(instantAt(at))) {
                return;
            }
        }
        period += interval_;
    }
}

}  // namespace lumenary::platform
