#include "platform/calendar/ical_time.hpp"

#include <chrono>
#include <ctime>

#include "platform/calendar/zone_clock.hpp"

namespace lumenary::platform {

namespace {

icaltimezone* zoneNamed(const char* tzid, icalcomponent* item) {
    for (icalcomponent* scope = item; scope != nullptr; scope = icalcomponent_get_parent(scope)) {
        if (icaltimezone* zone = icalcomponent_get_timezone(scope, tzid)) {
            return zone;
        }
    }
    if (icaltimezone* zone = icaltimezone_get_builtin_timezone_from_tzid(tzid)) {
        return zone;
    }
    return icaltimezone_get_builtin_timezone(tzid);
}

}  // namespace

icaltimetype icalTimeWithResolvedZone(icaltimetype time, icalproperty* property) {
    if (time.is_date || icaltime_is_utc(time)) {
        return time;
    }
    time.zone = nullptr;
    icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    if (tzid == nullptr || icalparameter_get_tzid(tzid) == nullptr) {
        return time;
    }
    if (icaltimezone* zone = zoneNamed(icalparameter_get_tzid(tzid), icalproperty_get_parent(property))) {
        time.zone = zone;
    }
    return time;
}

LocalWallClock wallClockOfICalTime(const icaltimetype& time) {
    if (time.is_date) {
        return {.year = time.year, .month = time.month, .day = time.day};
    }
    return {.year = time.year,
            .month = time.month,
            .day = time.day,
            .hour = time.hour,
            .minute = time.minute,
            .second = time.second};
}

std::optional<StoreInstant> instantOfICalTime(const icaltimetype& time) {
    if (icaltime_is_null_time(time)) {
        return std::nullopt;
    }
    const LocalWallClock fields = wallClockOfICalTime(time);
    if (!isValidWallClock(fields)) {
        return std::nullopt;
    }
    if (time.is_date || time.zone == nullptr) {
        return instantOfLocalWallClock(fields);
    }
    // Through the zone's own rules, which for a zone from the system's
    // tzdata follow every daylight-saving change in it. libical's own
    // conversion reads a skipped time with the offset after the change and
    // a repeated one as the second of the two.
    return StoreInstant(std::chrono::seconds(ZoneClock(time.zone).instantOf(wallSecondOf(time))));
}

icaltimetype icalUTCTime(StoreInstant instant) {
    return icaltime_from_timet_with_zone(static_cast<std::time_t>(instant.time_since_epoch().count()), 0,
                                         icaltimezone_get_utc_timezone());
}

icaltimetype icalDate(const LocalWallClock& date) {
    icaltimetype time = icaltime_null_date();
    time.year = date.year;
    time.month = date.month;
    time.day = date.day;
    return time;
}

icaltimetype icalFloatingMinute(const LocalWallClock& time) {
    icaltimetype result = icaltime_null_time();
    result.year = time.year;
    result.month = time.month;
    result.day = time.day;
    result.hour = time.hour;
    result.minute = time.minute;
    return result;
}

}  // namespace lumenary::platform
