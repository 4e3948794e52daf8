#include "platform/calendar/local_wall_clock.hpp"

#include <ctime>

namespace lumenary::platform {

bool isValidWallClock(const LocalWallClock& time) {
    if (time.year < 1 || time.year > 9999 || time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31) {
        return false;
    }
    const std::chrono::year_month_day date{std::chrono::year(time.year), std::chrono::month(static_cast<unsigned>(time.month)),
                                           std::chrono::day(static_cast<unsigned>(time.day))};
    // Leap seconds are written as :60 by some programs; they are accepted.
    return date.ok() && time.hour >= 0 && time.hour <= 23 && time.minute >= 0 && time.minute <= 59 && time.second >= 0 &&
           time.second <= 60;
}

StoreInstant instantOfLocalWallClock(const LocalWallClock& time) {
    const std::chrono::year_month_day date{std::chrono::year(time.year), std::chrono::month(static_cast<unsigned>(time.month)),
                                           std::chrono::day(static_cast<unsigned>(time.day))};
    const std::int64_t wallSecond = std::chrono::sys_days(date).time_since_epoch().count() * std::int64_t{86'400} +
                                    time.hour * 3600 + time.minute * 60 + time.second;
    return StoreInstant(std::chrono::seconds(instantOfWallSecond(wallSecond, [](std::int64_t instant) {
        const auto seconds = static_cast<std::time_t>(instant);
        std::tm fields{};
        ::localtime_r(&seconds, &fields);
        return static_cast<std::int64_t>(fields.tm_gmtoff);
    })));
}

LocalWallClock localWallClockAt(StoreInstant instant) {
    const std::time_t seconds = static_cast<std::time_t>(instant.time_since_epoch().count());
    std::tm fields{};
    ::localtime_r(&seconds, &fields);
    return {.year = fields.tm_year + 1900,
            .month = fields.tm_mon + 1,
            .day = fields.tm_mday,
            .hour = fields.tm_hour,
            .minute = fields.tm_min,
            .second = fields.tm_sec};
}

void refreshLocalTimeZone() {
    ::tzset();
}

LocalWallClock datePlusDays(const LocalWallClock& date, int days) {
    const std::chrono::year_month_day start{std::chrono::year(date.year), std::chrono::month(static_cast<unsigned>(date.month)),
                                            std::chrono::day(static_cast<unsigned>(date.day))};
    const std::chrono::year_month_day moved{std::chrono::sys_days(start) + std::chrono::days(days)};
    LocalWallClock result = date;
    result.year = static_cast<int>(moved.year());
    result.month = static_cast<int>(static_cast<unsigned>(moved.month()));
    result.day = static_cast<int>(static_cast<unsigned>(moved.day()));
    return result;
}

}  // namespace lumenary::platform
