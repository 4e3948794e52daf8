#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include <libical/ical.h>

#include "platform/calendar/event_store.hpp"

namespace lumenary::platform {

// One occurrence of an event: when it happens, and the component that
// describes it (the series itself, or the override of that occurrence).
struct ICalOccurrence {
    StoreInstant start;
    StoreInstant end;
    bool isAllDay = false;
    icalcomponent* component = nullptr;
};

// The VEVENTs of one file that share a UID: the series (DTSTART with its
// RRULE, RDATE and EXDATE) and the overrides of single occurrences (the
// ones with a RECURRENCE-ID). Used under the ICalLibraryLock, while the
// document that holds the components lives.
class ICalEventSeries {
public:
    // How many steps one rule may take per question: a rule that repeats
    // every second for years must not hold up the store.
    static constexpr int maximumRuleSteps = 100'000;

    // `series` is null when a file holds overrides only; each override then
    // stands for itself.
    ICalEventSeries(icalcomponent* series, std::vector<icalcomponent*> overrides);

    // Whether the series has a start that can be read; without one only
    // its overrides can occur.
    bool hasReadableStart() const;

    // The occurrences that overlap [start, end), in start order. An
    // occurrence without length overlaps when it starts in the range. With
    // `earliest`, only that many that start first are needed: a rule stops
    // once it has placed that many in the range and its clock is past any
    // time that could start before the latest of them.
    std::vector<ICalOccurrence> occurrencesOverlapping(StoreInstant start, StoreInstant end,
                                                       std::optional<std::size_t> earliest = std::nullopt) const;

    // The earliest occurrence, EXDATEs and overrides applied.
    std::optional<ICalOccurrence> firstOccurrence() const;

    // Why each RRULE that is not expanded was set aside (its parts can
    // never all hold, or are not read): the series then occurs at its
    // start and on its RDATEs only.
    const std::vector<std::string>& setAsideRules() const { return setAsideRules_; }

private:
    struct Timing {
        icaltimetype start;
        StoreInstant startInstant;
        bool isAllDay = false;
        // All-day events last whole days on the user's clock; timed ones a
        // number of seconds.
        int days = 1;
        std::chrono::seconds length{0};
    };

    static std::optional<Timing> timingOf(icalcomponent* component);
    std::optional<ICalOccurrence> occurrenceAt(const icaltimetype& instance) const;
    std::optional<ICalOccurrence> overrideOccurrence(icalcomponent* component) const;
    bool isExcluded(const icaltimetype& instance, StoreInstant instanceStart) const;
    bool isOverridden(StoreInstant instanceStart) const;
    // Every occurrence of the series itself before `end` (or, with no end,
    // the first one only), EXDATEs and overrides left out, in start order.
    // Occurrences that end before `from` may be left out.
    std::vector<ICalOccurrence> seriesOccurrences(std::optional<StoreInstant> from, std::optional<StoreInstant> end,
                                                  std::optional<std::size_t> earliest = std::nullopt) const;

    icalcomponent* series_;
    std::vector<icalcomponent*> overrides_;
    std::optional<Timing> timing_;
    std::vector<icalrecurrencetype> rules_;
    std::vector<std::string> setAsideRules_;
    std::vector<icalproperty*> extraDates_;
    // A file may hold tens of thousands of EXDATEs and overrides: each
    // occurrence is looked up, not compared with every one.
    std::unordered_set<std::int64_t> excludedStarts_;
    std::unordered_set<std::int64_t> excludedDays_;
    std::unordered_set<std::int64_t> overriddenStarts_;
};

}  // namespace lumenary::platform
