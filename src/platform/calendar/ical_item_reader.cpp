#include "platform/calendar/ical_item_reader.hpp"

#include <algorithm>
#include <unordered_map>

#include "platform/calendar/ical_event_series.hpp"
#include "platform/calendar/ical_time.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

std::optional<std::string> optionalText(const char* text) {
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    return system::repairUTF8(text);
}

std::optional<std::string> urlOf(icalcomponent* component) {
    icalproperty* property = icalcomponent_get_first_property(component, ICAL_URL_PROPERTY);
    return property == nullptr ? std::nullopt : optionalText(icalproperty_get_url(property));
}

bool hasRecurrenceID(icalcomponent* component) {
    return icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY) != nullptr;
}

StoreEvent eventOf(const ICalOccurrence& occurrence, const std::string& identifier) {
    icalcomponent* component = occurrence.component;
    return StoreEvent{.identifier = identifier,
                      .title = optionalText(icalcomponent_get_summary(component)).value_or(""),
                      .location = optionalText(icalcomponent_get_location(component)),
                      .notes = optionalText(icalcomponent_get_description(component)),
                      .url = urlOf(component),
                      .start = occurrence.start,
                      .end = occurrence.end,
                      .isAllDay = occurrence.isAllDay,
                      .calendar = {}};
}

std::optional<icaltimetype> resolvedTime(icalcomponent* component, icalproperty_kind kind) {
    icalproperty* property = icalcomponent_get_first_property(component, kind);
    if (property == nullptr) {
        return std::nullopt;
    }
    const icaltimetype time = kind == ICAL_DUE_PROPERTY ? icalproperty_get_due(property) : icalproperty_get_completed(property);
    if (icaltime_is_null_time(time)) {
        return std::nullopt;
    }
    return icalTimeWithResolvedZone(time, property);
}

// A due date as the person set it: a floating time or a date as written
// (a date is due at the start of its day), a time in a zone as the user's
// clock shows it.
std::optional<DueDateComponents> dueOf(icalcomponent* component) {
    const auto due = resolvedTime(component, ICAL_DUE_PROPERTY);
    if (!due || !isValidWallClock(wallClockOfICalTime(*due))) {
        return std::nullopt;
    }
    LocalWallClock clock = wallClockOfICalTime(*due);
    if (!due->is_date && due->zone != nullptr) {
        clock = localWallClockAt(*instantOfICalTime(*due));
    }
    return DueDateComponents{.year = clock.year, .month = clock.month, .day = clock.day, .hour = clock.hour, .minute = clock.minute};
}

}  // namespace

struct ICalItemReader::EventGroup {
    std::string identifier;
    icalcomponent* series = nullptr;
    std::vector<icalcomponent*> overrides;
};

std::string ICalItemReader::identifierOf(icalcomponent* component) const {
    return optionalText(icalcomponent_get_uid(component)).value_or(fallbackIdentifier_);
}

std::vector<ICalItemReader::EventGroup> ICalItemReader::eventGroups() {
    std::vector<EventGroup> groups;
    // A file may hold a hundred thousand events: the groups are found by
    // UID, not searched.
    std::unordered_map<std::string, std::size_t> groupOfIdentifier;
    for (icalcomponent* component : document_.components(ICAL_VEVENT_COMPONENT)) {
        std::string identifier = identifierOf(component);
        const auto [found, isNew] = groupOfIdentifier.try_emplace(identifier, groups.size());
        if (isNew) {
            groups.push_back({.identifier = std::move(identifier), .series = nullptr, .overrides = {}});
        }
        EventGroup* group = &groups[found->second];
        if (hasRecurrenceID(component)) {
            group->overrides.push_back(component);
        } else if (group->series == nullptr) {
            group->series = component;
        } else {
            problems_.push_back("a second event with the UID \"" + group->identifier + "\" was left out");
        }
    }
    return groups;
}

void ICalItemReader::collectEventsOverlapping(StoreInstant start, StoreInstant end, const StoreCalendar& calendar,
                                              StoreEventCollector& collector) {
    for (EventGroup& group : eventGroups()) {
        if (collector.isSpent()) {
            return;
        }
        const ICalEventSeries series(group.series, std::move(group.overrides));
        if (group.series != nullptr && !series.hasReadableStart()) {
            problems_.push_back("the event \"" + group.identifier + "\" has no readable start and was left out");
        }
        noteSetAsideRules(series, group.identifier);
        // A component's texts are read once, not once per occurrence: each
        // look-up walks its properties, and a series may hold tens of
        // thousands of RDATEs.
        std::unordered_map<icalcomponent*, StoreEvent> described;
        for (const ICalOccurrence& occurrence : series.occurrencesOverlapping(start, collector.keptBefore(end), collector.earliest())) {
            // In start order: once one is not kept, neither is any later one.
            if (!collector.wouldKeep(occurrence.start)) {
                break;
            }
            auto [found, isNew] = described.try_emplace(occurrence.component);
            if (isNew) {
                found->second = eventOf(occurrence, group.identifier);
                found->second.calendar = calendar;
            }
            StoreEvent event = found->second;
            event.start = occurrence.start;
            event.end = occurrence.end;
            event.isAllDay = occurrence.isAllDay;
            collector.offer(std::move(event));
        }
    }
}

void ICalItemReader::noteSetAsideRules(const ICalEventSeries& series, const std::string& identifier) {
    for (const std::string& reason : series.setAsideRules()) {
        problems_.push_back("the repeat rule of the event \"" + identifier + "\" was read as its first occurrence alone: " +
                            reason);
    }
}

std::optional<StoreEvent> ICalItemReader::event(const std::string& identifier) {
    for (EventGroup& group : eventGroups()) {
        if (group.identifier != identifier) {
            continue;
        }
        const ICalEventSeries series(group.series, std::move(group.overrides));
        noteSetAsideRules(series, group.identifier);
        if (const auto occurrence = series.firstOccurrence()) {
            return eventOf(*occurrence, group.identifier);
        }
    }
    return std::nullopt;
}

std::vector<StoreReminder> ICalItemReader::reminders() {
    std::vector<StoreReminder> reminders;
    for (icalcomponent* component : document_.components(ICAL_VTODO_COMPONENT)) {
        if (hasRecurrenceID(component)) {
            continue;
        }
        StoreReminder reminder;
        reminder.identifier = identifierOf(component);
        if (icalcomponent_get_first_property(component, ICAL_SUMMARY_PROPERTY) != nullptr) {
            reminder.title = optionalText(icalcomponent_get_summary(component)).value_or("");
        }
        reminder.notes = optionalText(icalcomponent_get_description(component));
        if (const auto completed = resolvedTime(component, ICAL_COMPLETED_PROPERTY)) {
            reminder.completionDate = instantOfICalTime(*completed);
        }
        reminder.isCompleted = icalcomponent_get_status(component) == ICAL_STATUS_COMPLETED ||
                               icalcomponent_get_first_property(component, ICAL_COMPLETED_PROPERTY) != nullptr;
        reminder.due = dueOf(component);
        if (icalproperty* priority = icalcomponent_get_first_property(component, ICAL_PRIORITY_PROPERTY)) {
            reminder.priority = icalproperty_get_priority(priority);
        }
        reminders.push_back(std::move(reminder));
    }
    return reminders;
}

}  // namespace lumenary::platform
