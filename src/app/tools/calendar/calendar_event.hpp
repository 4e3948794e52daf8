#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/calendar/event_store.hpp"

namespace lumenary::app {

// An event as it leaves the program in get_events and search_events.
// Absent optional fields are left out of its JSON object, never null.
struct CalendarEvent {
    std::string id;
    std::string title;
    std::optional<std::string> location;
    std::optional<std::string> notes;
    std::optional<std::string> startDate;
    std::optional<std::string> endDate;
    std::string calendarName;
    bool isAllDay = false;
    std::optional<std::string> url;

    static CalendarEvent from(const platform::StoreEvent& event);
};

// The events as pretty-printed JSON with "/" written as "\/", or "[]" when
// they cannot be written (text that is not UTF-8).
std::string calendarEventsJSON(const std::vector<CalendarEvent>& events);

}  // namespace lumenary::app
