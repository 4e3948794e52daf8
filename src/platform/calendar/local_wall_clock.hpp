#pragma once

#include <chrono>
#include <cstdint>

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

// The instant the user's clock shows this time. A time a change of offset
// skips is read with the offset before the change, and one it repeats is
// the first of the two, as RFC 5545 §3.3.5 reads them.
StoreInstant instantOfLocalWallClock(const LocalWallClock& time);

// The same reading on any zone's clock: `offsetAt` answers the zone's
// offset from UTC, in seconds, at an instant (seconds since the epoch).
template <typename OffsetAt>
std::int64_t instantOfWallSecond(std::int64_t wallSecond, OffsetAt offsetAt) {
    // Changes of offset are days apart: the offsets a day either side are
    // the only ones this time can have.
    constexpr std::int64_t day = 24 * 60 * 60;
    const std::int64_t before = offsetAt(wallSecond - day);
    const std::int64_t after = offsetAt(wallSecond + day);
    std::int64_t found = wallSecond - before;
    bool exists = offsetAt(found) == before;
    if (after != before && offsetAt(wallSecond - after) == after && (!exists || wallSecond - after < found)) {
        found = wallSecond - after;
        exists = true;
    }
    return exists ? found : wallSecond - before;
}

// What the user's clock shows at this instant.
LocalWallClock localWallClockAt(StoreInstant instant);

// Re-reads TZ, so that a zone changed while the program runs is used.
void refreshLocalTimeZone();

// The calendar date a number of days after (or before) this one.
LocalWallClock datePlusDays(const LocalWallClock& date, int days);

}  // namespace lumenary::platform
