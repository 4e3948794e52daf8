#pragma once

#include <string>
#include <vector>

#include <libical/ical.h>

namespace lumenary::platform {

// libical turns a VTIMEZONE into the list of all its changes, from each
// observance's start up to a few years past the latest time converted in it,
// before it converts one time. A zone whose rule repeats every minute makes
// that list grow without end. A zone is usable when its STANDARD and
// DAYLIGHT parts repeat no more often than daily and, projected from the
// rate of their first two years to the last year a date-time can name,
// make at most this many changes in all; real zones make one or two a year.
inline constexpr std::size_t maximumTimeZoneChanges = 100'000;

// An observance whose RRULE can never hold, or is not read (another
// calendar scale, a SKIP), loses that rule and changes at its DTSTART alone.
//
// Checks every VTIMEZONE of a parsed item and lets the times that name an
// unusable one float (read on the user's clock, as a TZID nobody knows is
// read), so libical never expands it; answers the TZIDs set aside. Called
// once per parsed item, under the ICalLibraryLock.
std::vector<std::string> floatTimesOfUnusableTimeZones(icalcomponent* root);

}  // namespace lumenary::platform
