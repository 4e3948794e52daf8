#pragma once

#include <string>

#include "platform/calendar/event_store.hpp"
#include "platform/calendar/local_wall_clock.hpp"

namespace lumenary::platform {

// The days an all-day event covers on the user's clock: the day of its
// start, and the day after the day of its end (an end at midnight belongs
// to the day before). At least one day.
struct AllDaySpan {
    LocalWallClock firstDay;
    LocalWallClock dayAfterLastDay;
};
AllDaySpan allDaySpanOf(StoreInstant start, StoreInstant end);

// The text of the item file of a new event or reminder with this UID,
// stamped `now`. Timed events are written in UTC, all-day events as dates
// with an exclusive end. A reminder's due date is a floating date-time to
// the minute; its alarm an absolute UTC trigger. Called under the
// ICalLibraryLock.
std::string icalTextOfNewEvent(const std::string& uid, const NewStoreEvent& event, StoreInstant now);
std::string icalTextOfNewReminder(const std::string& uid, const NewStoreReminder& reminder, StoreInstant now);

}  // namespace lumenary::platform
