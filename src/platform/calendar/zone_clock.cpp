#include "platform/calendar/zone_clock.hpp"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "platform/calendar/local_wall_clock.hpp"
#include "platform/calendar/recurrence_day_filter.hpp"

namespace lumenary::platform {

ZoneClock::ZoneClock(const icaltimezone* zone)
    : zone_(const_cast<icaltimezone*>(zone)), isUTC_(zone != nullptr && zone == icaltimezone_get_utc_timezone()) {}

std::int64_t ZoneClock::offsetAt(std::int64_t instant) const {
    if (isUTC_) {
        return 0;
    }
    const auto seconds = static_cast<std::time_t>(instant);
    if (zone_ == nullptr) {
        std::tm fields{};
        ::localtime_r(&seconds, &fields);
        return static_cast<std::int64_t>(fields.tm_gmtoff);
    }
    icaltimetype utcTime = icaltime_from_timet_with_zone(seconds, 0, icaltimezone_get_utc_timezone());
    int isDaylight = 0;
    return static_cast<std::int64_t>(icaltimezone_get_utc_offset_of_utc_time(zone_, &utcTime, &isDaylight));
}

std::int64_t ZoneClock::instantOf(std::int64_t wallSecond) const {
    if (isUTC_) {
        return wallSecond;
    }
    return instantOfWallSecond(wallSecond, [this](std::int64_t instant) { return offsetAt(instant); });
}

ZoneClock::OffsetSpan ZoneClock::offsetsNear(std::int64_t instant) const {
    if (isUTC_) {
        return {};
    }
    // Changes of offset are days apart: the offsets a day either side are
    // the only ones in between.
    constexpr std::int64_t day = std::chrono::seconds(std::chrono::days(1)).count();
    const std::int64_t before = offsetAt(instant - day);
    const std::int64_t after = offsetAt(instant + day);
    return {.least = std::min(before, after), .most = std::max(before, after)};
}

std::int64_t wallSecondOf(const icaltimetype& time) {
    constexpr std::int64_t day = std::chrono::seconds(std::chrono::days(1)).count();
    return dayNumberOf({.year = time.year, .month = time.month, .day = time.day}) * day + time.hour * 3600 +
           time.minute * 60 + time.second;
}

icaltimetype icalTimeOfWallSecond(std::int64_t wallSecond) {
    const std::chrono::sys_seconds at{std::chrono::seconds(wallSecond)};
    const std::chrono::sys_days dayStart = std::chrono::floor<std::chrono::days>(at);
    const RecurrenceDay day = recurrenceDayOf(dayStart.time_since_epoch().count());
    const auto secondOfDay = static_cast<int>((at - dayStart).count());
    icaltimetype time = icaltime_null_time();
    time.year = day.year;
    time.month = day.month;
    time.day = day.day;
    time.hour = secondOfDay / 3600;
    time.minute = secondOfDay / 60 % 60;
    time.second = secondOfDay % 60;
    return time;
}

}  // namespace lumenary::platform
