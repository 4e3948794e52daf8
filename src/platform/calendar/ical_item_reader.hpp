#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/calendar/event_store.hpp"
#include "platform/calendar/ical_document.hpp"
#include "platform/calendar/store_event_collector.hpp"

namespace lumenary::platform {

class ICalEventSeries;

// Reads the events and reminders of one parsed item file. Every text leaves
// as valid UTF-8. Items that cannot be read are left out and described in
// `problems`, one line each. Used under the ICalLibraryLock; events found by
// UID and reminders carry no calendar yet.
class ICalItemReader {
public:
    // `fallbackIdentifier` names the items that have no UID (the file's
    // name without ".ics").
    ICalItemReader(const ICalDocument& document, std::string fallbackIdentifier)
        : document_(document), fallbackIdentifier_(std::move(fallbackIdentifier)) {}

    // Offers the collector the occurrences of the file's events that overlap
    // [start, end), in `calendar`: each series in start order, the series in
    // file order. A series is expanded no later than the collector could
    // keep, and reading stops once its budget is spent.
    void collectEventsOverlapping(StoreInstant start, StoreInstant end, const StoreCalendar& calendar,
                                  StoreEventCollector& collector);

    // The event with this UID as its first occurrence.
    std::optional<StoreEvent> event(const std::string& identifier);

    // The file's reminders; an item that overrides one occurrence of a
    // repeating reminder is not one of its own.
    std::vector<StoreReminder> reminders();

    const std::vector<std::string>& problems() const { return problems_; }

private:
    struct EventGroup;
    std::vector<EventGroup> eventGroups();
    std::string identifierOf(icalcomponent* component) const;
    void noteSetAsideRules(const ICalEventSeries& series, const std::string& identifier);

    const ICalDocument& document_;
    std::string fallbackIdentifier_;
    std::vector<std::string> problems_;
};

}  // namespace lumenary::platform
