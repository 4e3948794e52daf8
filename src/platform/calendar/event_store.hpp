#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// The store keeps and answers times to the second.
using StoreInstant = std::chrono::sys_seconds;

enum class EventStoreEntity { events, reminders };

// How far the program may use the store for one entity. The values are the
// ones the panel shows beside its status texts; a store may report others.
enum class EventStoreAccess : int {
    notDetermined = 0,
    restricted = 1,
    denied = 2,
    fullAccess = 3,
    writeOnly = 4,
};

// One calendar (of events) or one reminder list.
struct StoreCalendar {
    // Stable within one store: how a caller names the calendar back to it.
    std::string identifier;
    std::string title;
};

// One event, or one occurrence of a recurring event.
struct StoreEvent {
    // The item's UID; every occurrence of a recurring event shares it.
    std::string identifier;
    std::string title;
    std::optional<std::string> location;
    std::optional<std::string> notes;
    std::optional<std::string> url;
    StoreInstant start;
    StoreInstant end;
    bool isAllDay = false;
    StoreCalendar calendar;
    // The file that holds the event, where the store keeps one file per
    // item (set by event(identifier)); empty otherwise.
    std::string itemFile{};
};

struct NewStoreEvent {
    std::string title;
    StoreInstant start;
    StoreInstant end;
    std::optional<std::string> location;
    std::optional<std::string> notes;
    bool isAllDay = false;
    // Absent: the store's default calendar for new events.
    std::optional<std::string> calendarIdentifier;
};

// A due date as a person set it: a wall-clock minute without a zone.
struct DueDateComponents {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;

    friend bool operator==(const DueDateComponents&, const DueDateComponents&) = default;
};

struct StoreReminder {
    // The item's UID.
    std::string identifier;
    std::optional<std::string> title;
    std::optional<std::string> notes;
    bool isCompleted = false;
    std::optional<StoreInstant> completionDate;
    std::optional<DueDateComponents> due;
    // 0 none, 1 highest ... 9 lowest.
    std::int64_t priority = 0;
    std::optional<StoreCalendar> list;
};

struct NewStoreReminder {
    std::string title;
    std::optional<std::string> notes;
    std::int64_t priority = 0;
    std::optional<DueDateComponents> due;
    // One alarm at this instant.
    std::optional<StoreInstant> alarm;
    // Absent: the store's default list for new reminders.
    std::optional<std::string> listIdentifier;
};

// Which reminders to fetch. Incomplete reminders are bounded by their due
// date, completed ones by their completion date; a bound is included, an
// absent bound is open.
struct ReminderQuery {
    bool completed = false;
    std::optional<StoreInstant> start;
    std::optional<StoreInstant> end;
    // Absent: every reminder list.
    std::optional<std::vector<std::string>> listIdentifiers;
};

// The user's calendars and reminder lists. Every member may block on files,
// so callers run them on the worker pool; an implementation is safe to call
// from several threads at once. Nothing is cached between calls.
class EventStore {
public:
    virtual ~EventStore() = default;

    virtual EventStoreAccess access(EventStoreEntity entity) const = 0;
    // Where the store keeps this entity (a folder path), for messages that
    // tell the user what to fix.
    virtual std::string locationDescription(EventStoreEntity entity) const = 0;
    // Grants access where the store can (a folder that does not exist yet
    // is made); answers whether full access holds afterwards.
    virtual PlatformOutcome<bool> requestFullAccess(EventStoreEntity entity) = 0;

    // Calendars of events, or reminder lists, in the store's order.
    virtual PlatformOutcome<std::vector<StoreCalendar>> calendars(EventStoreEntity entity) = 0;

    // Events and occurrences that overlap [start, end), in the store's
    // order (not sorted by start). A store may refuse a range that holds
    // more than it can read at once, with an error that says so.
    virtual PlatformOutcome<std::vector<StoreEvent>> events(StoreInstant start, StoreInstant end) = 0;
    // Of those, the `count` that start first, by start (of two that start
    // together, the one first in the store's order).
    virtual PlatformOutcome<std::vector<StoreEvent>> earliestEvents(StoreInstant start, StoreInstant end,
                                                                    std::size_t count) = 0;
    // The event with this identifier (a recurring one as its first
    // occurrence), or nothing.
    virtual PlatformOutcome<std::optional<StoreEvent>> event(const std::string& identifier) = 0;
    virtual PlatformOutcome<StoreEvent> saveEvent(const NewStoreEvent& event) = 0;

    // Reminders in the store's order.
    virtual PlatformOutcome<std::vector<StoreReminder>> reminders(const ReminderQuery& query) = 0;
    virtual PlatformOutcome<StoreReminder> saveReminder(const NewStoreReminder& reminder) = 0;
};

}  // namespace lumenary::platform
