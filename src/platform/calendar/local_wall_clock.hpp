#pragma once

#include <chrono>

#include "platform/calendar/event_store.hpp"

namespace lumenary::platform {

// A date and time on the user's clock, without a zone. Floating times, all-day
// dates and due dates are read this way; the zone is the C library's (TZ,
// else the system's), so any zone the C library knows works.
struct LocalWallClock {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const LocalWallClock&, const LocalWallClock&) = default;
};

// Whether the fields name a real date and time (no 30 February, no hour 24).
bool isValidWallClock(const LocalWallClock& time);

// The instant the user's clock shows this time. A time skipped by a
// daylight-saving change is read the way mktime reads it.
StoreInstant instantOfLocalWallClock(const LocalWallClock& time);

// What the user's clock shows at this instant.
LocalWallClock localWallClockAt(StoreInstant instant);

// Re-reads TZ, so that a zone changed while the program runs is used.
void refreshLocalTimeZone();

// The calendar date a number of days after (or before) this one.
LocalWallClock datePlusDays(const LocalWallClock& date, int days);

}  // namespace lumenary::platform
