#pragma once

#include <optional>

#include <libical/ical.h>

#include "platform/calendar/event_store.hpp"
#include "platform/calendar/local_wall_clock.hpp"

namespace lumenary::platform {

// Conversions between libical's times and the store's. Every caller holds
// the ICalLibraryLock.

// The time a property holds with its TZID resolved: against the VTIMEZONE
// components of the item's own calendar first, then against the zones of
// the system's tzdata. A TZID that neither knows leaves the time floating,
// read on the user's clock.
icaltimetype icalTimeWithResolvedZone(icaltimetype time, icalproperty* property);

// The fields of a time as written, whatever its zone.
LocalWallClock wallClockOfICalTime(const icaltimetype& time);

// When a date or date-time happens: a date at the start of that day on the
// user's clock, a UTC time as written, a time with a zone libical knows in
// that zone, any other time (floating, or with a zone nobody knows) on the
// user's clock. Nothing for a null time or fields that name no real time.
std::optional<StoreInstant> instantOfICalTime(const icaltimetype& time);

icaltimetype icalUTCTime(StoreInstant instant);
icaltimetype icalDate(const LocalWallClock& date);
// A date-time without a zone, to the minute.
icaltimetype icalFloatingMinute(const LocalWallClock& time);

}  // namespace lumenary::platform
