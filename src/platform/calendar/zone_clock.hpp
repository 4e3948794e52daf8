#pragma once

#include <cstdint>

#include <libical/ical.h>

namespace lumenary::platform {

// The wall clock of a time zone libical knows, or the user's clock for a
// time without one, in whole seconds: an instant counts from the epoch, a
// wall second from 1970-01-01 00:00 as that clock shows it. A repeat rule
// gives wall seconds and the store asks for instants; near a change of
// offset the two orders part, and this is where one is read as the other.
// Used under the ICalLibraryLock.
class ZoneClock {
public:
    // The least and the most offset from UTC the clock shows within a day
    // of an instant. A wall second a clock shows within hours of the
    // instant is read as that instant, or another, minus one of these.
    struct OffsetSpan {
        std::int64_t least = 0;
        std::int64_t most = 0;
    };

    // `zone` null: the user's clock.
    explicit ZoneClock(const icaltimezone* zone);

    std::int64_t offsetAt(std::int64_t instant) const;
    std::int64_t wallSecondAt(std::int64_t instant) const { return instant + offsetAt(instant); }
    // When the clock shows this wall second: a time a change skips with
    // the offset before the change, a repeated one as the first of the two.
    std::int64_t instantOf(std::int64_t wallSecond) const;
    OffsetSpan offsetsNear(std::int64_t instant) const;

private:
    icaltimezone* zone_;
    bool isUTC_;
};

// Seconds since 1970-01-01 00:00 of a time's fields as written, whatever
// its zone.
std::int64_t wallSecondOf(const icaltimetype& time);
// A date-time without a zone whose fields show this wall second.
icaltimetype icalTimeOfWallSecond(std::int64_t wallSecond);

}  // namespace lumenary::platform
