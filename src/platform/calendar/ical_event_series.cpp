#include "platform/calendar/ical_event_series.hpp"

#include <algorithm>
#include <set>

#include "platform/calendar/ical_document.hpp"
#include "platform/calendar/ical_time.hpp"
#include "platform/calendar/recurrence_check.hpp"
#include "platform/calendar/day_by_day_recurrence.hpp"
#include "platform/calendar/zone_clock.hpp"

namespace lumenary::platform {

namespace {

int daysBetween(const LocalWallClock& from, const LocalWallClock& to) {
    const auto day = [](const LocalWallClock& date) {
        return std::chrono::sys_days(std::chrono::year_month_day{std::chrono::year(date.year),
                                                                 std::chrono::month(static_cast<unsigned>(date.month)),
                                                                 std::chrono::day(static_cast<unsigned>(date.day))});
    };
    return static_cast<int>((day(to) - day(from)).count());
}

bool overlaps(const ICalOccurrence& occurrence, StoreInstant start, StoreInstant end) {
    if (occurrence.end <= occurrence.start) {
        return occurrence.start >= start && occurrence.start < end;
    }
    return occurrence.start < end && occurrence.end > start;
}

void sortByStart(std::vector<ICalOccurrence>& occurrences) {
    std::stable_sort(occurrences.begin(), occurrences.end(),
                     [](const ICalOccurrence& left, const ICalOccurrence& right) { return left.start < right.start; });
}

std::int64_t dayKey(const icaltimetype& time) {
    return std::int64_t{time.year} * 10'000 + time.month * 100 + time.day;
}

std::int64_t secondsOf(StoreInstant instant) {
    return instant.time_since_epoch().count();
}

std::optional<icaltimetype> propertyTime(icalcomponent* component, icalproperty_kind kind) {
    icalproperty* property = icalcomponent_get_first_property(component, kind);
    if (property == nullptr) {
        return std::nullopt;
    }
    icaltimetype time = icaltime_null_time();
    switch (kind) {
        case ICAL_DTSTART_PROPERTY: time = icalproperty_get_dtstart(property); break;
        case ICAL_DTEND_PROPERTY: time = icalproperty_get_dtend(property); break;
        case ICAL_RECURRENCEID_PROPERTY: time = icalproperty_get_recurrenceid(property); break;
        default: return std::nullopt;
    }
    if (icaltime_is_null_time(time)) {
        return std::nullopt;
    }
    return icalTimeWithResolvedZone(time, property);
}

}  // namespace

ICalEventSeries::ICalEventSeries(icalcomponent* series, std::vector<icalcomponent*> overrides)
    : series_(series), overrides_(std::move(overrides)) {
    if (series_ != nullptr) {
        timing_ = timingOf(series_);
        for (icalproperty* property : timing_ ? icalProperties(series_, ICAL_RRULE_PROPERTY) : std::vector<icalproperty*>()) {
            const icalrecurrencetype rule = icalproperty_get_rrule(property);
            const RecurrenceCheck check = checkRecurrence(rule, timing_->start);
            if (check.verdict == RecurrenceVerdict::expandable) {
                rules_.push_back(rule);
            } else {
                setAsideRules_.push_back(check.reason);
            }
        }
        extraDates_ = icalProperties(series_, ICAL_RDATE_PROPERTY);
        for (icalproperty* property : icalProperties(series_, ICAL_EXDATE_PROPERTY)) {
            const icaltimetype excluded = icalTimeWithResolvedZone(icalproperty_get_exdate(property), property);
            if (excluded.is_date) {
                // A date excludes whatever occurrence falls on that day.
                excludedDays_.insert(dayKey(excluded));
            } else if (const auto instant = instantOfICalTime(excluded)) {
                excludedStarts_.insert(secondsOf(*instant));
            }
        }
    }
    for (icalcomponent* override : overrides_) {
        if (const auto recurrence = propertyTime(override, ICAL_RECURRENCEID_PROPERTY)) {
            if (const auto instant = instantOfICalTime(*recurrence)) {
                overriddenStarts_.insert(secondsOf(*instant));
            }
        }
    }
}

bool ICalEventSeries::hasReadableStart() const {
    return timing_.has_value();
}

std::optional<ICalEventSeries::Timing> ICalEventSeries::timingOf(icalcomponent* component) {
    const auto start = propertyTime(component, ICAL_DTSTART_PROPERTY);
    if (!start) {
        return std::nullopt;
    }
    const auto startInstant = instantOfICalTime(*start);
    if (!startInstant) {
        return std::nullopt;
    }
    Timing timing{.start = *start, .startInstant = *startInstant, .isAllDay = start->is_date != 0};
    const auto end = propertyTime(component, ICAL_DTEND_PROPERTY);
    icalproperty* durationProperty = icalcomponent_get_first_property(component, ICAL_DURATION_PROPERTY);
    if (timing.isAllDay) {
        if (end && end->is_date && isValidWallClock(wallClockOfICalTime(*end))) {
            timing.days = daysBetween(wallClockOfICalTime(*start), wallClockOfICalTime(*end));
        } else if (durationProperty != nullptr) {
            const icaldurationtype duration = icalproperty_get_duration(durationProperty);
            timing.days = duration.is_neg ? 0 : static_cast<int>(duration.weeks * 7 + duration.days);
        }
        // An all-day event lasts at least its day, whatever its end says.
        timing.days = std::max(timing.days, 1);
        return timing;
    }
    if (end) {
        if (const auto endInstant = instantOfICalTime(*end)) {
            timing.length = std::max(std::chrono::seconds(0), *endInstant - *startInstant);
        }
    } else if (durationProperty != nullptr) {
        timing.length = std::max(std::chrono::seconds(0),
                                 std::chrono::seconds(icaldurationtype_as_int(icalproperty_get_duration(durationProperty))));
    }
    return timing;
}

std::optional<ICalOccurrence> ICalEventSeries::occurrenceAt(const icaltimetype& instance) const {
    if (instance.is_date) {
        const LocalWallClock day = wallClockOfICalTime(instance);
        if (!isValidWallClock(day)) {
            return std::nullopt;
        }
        return ICalOccurrence{.start = instantOfLocalWallClock(day),
                              .end = instantOfLocalWallClock(datePlusDays(day, timing_->days)),
                              .isAllDay = true,
                              .component = series_};
    }
    const auto start = instantOfICalTime(instance);
    if (!start) {
        return std::nullopt;
    }
    const std::chrono::seconds length = timing_->isAllDay ? std::chrono::hours(24) * timing_->days : timing_->length;
    return ICalOccurrence{.start = *start, .end = *start + length, .isAllDay = false, .component = series_};
}

std::optional<ICalOccurrence> ICalEventSeries::overrideOccurrence(icalcomponent* component) const {
    const auto timing = timingOf(component);
    if (!timing) {
        return std::nullopt;
    }
    if (timing->isAllDay) {
        const LocalWallClock day = wallClockOfICalTime(timing->start);
        return ICalOccurrence{.start = timing->startInstant,
                              .end = instantOfLocalWallClock(datePlusDays(day, timing->days)),
                              .isAllDay = true,
                              .component = component};
    }
    return ICalOccurrence{.start = timing->startInstant,
                          .end = timing->startInstant + timing->length,
                          .isAllDay = false,
                          .component = component};
}

bool ICalEventSeries::isExcluded(const icaltimetype& instance, StoreInstant instanceStart) const {
    return excludedDays_.contains(dayKey(instance)) || excludedStarts_.contains(secondsOf(instanceStart));
}

bool ICalEventSeries::isOverridden(StoreInstant instanceStart) const {
    return overriddenStarts_.contains(secondsOf(instanceStart));
}

std::vector<ICalOccurrence> ICalEventSeries::seriesOccurrences(std::optional<StoreInstant> from,
                                                               std::optional<StoreInstant> end,
                                                               std::optional<std::size_t> earliest) const {
    std::vector<ICalOccurrence> found;
    if (!timing_) {
        return found;
    }
    std::set<StoreInstant> seen;
    const auto isWanted = [&](const icaltimetype& instance, const ICalOccurrence& occurrence) {
        return !isExcluded(instance, occurrence.start) && !isOverridden(occurrence.start) &&
               seen.insert(occurrence.start).second;
    };
    const auto consider = [&](const icaltimetype& instance) {
        const auto occurrence = occurrenceAt(instance);
        if (occurrence && (!end || occurrence->start < *end) && isWanted(instance, *occurrence)) {
            found.push_back(*occurrence);
        }
    };

    // A rule gives times on the series' clock, in that order; the range and
    // the earliest asked for are instants. Near a change of offset the two
    // orders part (a time the change skips is read at the offset before
    // it, later than the times written after it), so a rule is followed on
    // the clock from the range's start at the least offset near it to its
    // end at the most, and each instance is judged by its instant.
    const ZoneClock clock(timing_->start.zone);
    const auto lastWallSecondBefore = [&](StoreInstant instant) {
        return secondsOf(instant) + clock.offsetsNear(secondsOf(instant)).most;
    };
    std::optional<StoreInstant> ruleEnd;
    std::int64_t ruleLastWallSecond = 0;
    std::optional<StoreInstant> latestPlaced;
    std::size_t placed = 0;
    // Takes one instance of a rule; false once the rule needs no more.
    const auto place = [&](icaltimetype instance) {
        instance.zone = timing_->start.zone;
        const auto occurrence = occurrenceAt(instance);
        if (!occurrence) {
            return true;
        }
        if (ruleEnd && occurrence->start >= *ruleEnd) {
            return wallSecondOf(instance) < ruleLastWallSecond;
        }
        if (!isWanted(instance, *occurrence)) {
            return true;
        }
        found.push_back(*occurrence);
        if (!end) {
            return false;
        }
        if (earliest && from && overlaps(*occurrence, *from, *end)) {
            latestPlaced = std::max(latestPlaced.value_or(occurrence->start), occurrence->start);
            // With `earliest` placed in the range, a later one of this rule
            // counts only if it starts before the latest of them.
            if (++placed == *earliest) {
                ruleEnd = *latestPlaced;
                ruleLastWallSecond = lastWallSecondBefore(*ruleEnd);
            }
        }
        return true;
    };

    // DTSTART is the first occurrence even where the rule would not give it.
    consider(timing_->start);
    for (const icalrecurrencetype& rule : rules_) {
        placed = 0;
        latestPlaced.reset();
        ruleEnd = end;
        ruleLastWallSecond = end ? lastWallSecondBefore(*end) : 0;
        // A rule that repeats every second cannot afford a day of margin:
        // it starts where the range does, to the second, at the least
        // offset near there. Longer rules start a day earlier.
        const std::chrono::seconds reach =
            (timing_->isAllDay ? std::chrono::hours(24) * timing_->days : timing_->length) +
            (isSubDaily(rule) ? std::chrono::hours(0) : std::chrono::hours(24));
        icaltimetype later = timing_->start;
        if (from) {
            const std::int64_t earliestStart = secondsOf(*from - reach);
            later = icalTimeOfWallSecond(earliestStart + clock.offsetsNear(earliestStart).least);
        }
        const auto before = end ? std::optional<icaltimetype>(icalTimeOfWallSecond(ruleLastWallSecond)) : std::nullopt;
        DayByDayRecurrence(rule, timing_->start).expand(later, before, maximumRuleSteps, place);
    }
    for (icalproperty* property : extraDates_) {
        const icaldatetimeperiodtype value = icalproperty_get_rdate(property);
        if (!icaltime_is_null_time(value.time)) {
            consider(icalTimeWithResolvedZone(value.time, property));
            continue;
        }
        const icaltimetype periodStart = icalTimeWithResolvedZone(value.period.start, property);
        auto occurrence = occurrenceAt(periodStart);
        if (!occurrence) {
            continue;
        }
        if (!icaltime_is_null_time(value.period.end)) {
            if (const auto periodEnd = instantOfICalTime(icalTimeWithResolvedZone(value.period.end, property))) {
                occurrence->end = std::max(occurrence->start, *periodEnd);
            }
        } else {
            occurrence->end = occurrence->start + std::chrono::seconds(icaldurationtype_as_int(value.period.duration));
        }
        if ((!end || occurrence->start < *end) && isWanted(periodStart, *occurrence)) {
            found.push_back(*occurrence);
        }
    }
    sortByStart(found);
    return found;
}

std::vector<ICalOccurrence> ICalEventSeries::occurrencesOverlapping(StoreInstant start, StoreInstant end,
                                                                    std::optional<std::size_t> earliest) const {
    std::vector<ICalOccurrence> found;
    for (const ICalOccurrence& occurrence : seriesOccurrences(start, end, earliest)) {
        if (overlaps(occurrence, start, end)) {
            found.push_back(occurrence);
        }
    }
    for (icalcomponent* override : overrides_) {
        if (const auto occurrence = overrideOccurrence(override); occurrence && overlaps(*occurrence, start, end)) {
            found.push_back(*occurrence);
        }
    }
    sortByStart(found);
    return found;
}

std::optional<ICalOccurrence> ICalEventSeries::firstOccurrence() const {
    std::vector<ICalOccurrence> candidates = seriesOccurrences(std::nullopt, std::nullopt);
    for (icalcomponent* override : overrides_) {
        if (const auto occurrence = overrideOccurrence(override)) {
            candidates.push_back(*occurrence);
        }
    }
    if (candidates.empty()) {
        return std::nullopt;
    }
    sortByStart(candidates);
    return candidates.front();
}

}  // namespace lumenary::platform
