#include "app/tools/calendar/calendar_dates.hpp"

#include <array>
#include <cstdio>
#include <ctime>

namespace lumenary::app {

namespace {

using platform::StoreInstant;

// The number written by `count` decimal digits at `position`, or nothing
// when any of them is not a digit.
std::optional<int> digitsAt(std::string_view text, std::size_t position, std::size_t count) {
    if (position + count > text.size()) {
        return std::nullopt;
    }
    int number = 0;
    for (std::size_t index = position; index < position + count; ++index) {
        const char character = text[index];
        if (character < '0' || character > '9') {
            return std::nullopt;
        }
        number = number * 10 + (character - '0');
    }
    return number;
}

struct CalendarDay {
    int year;
    int month;
    int day;
};

// "yyyy-MM-dd" at the start of `text`, a day that exists.
std::optional<CalendarDay> dayAt(std::string_view text) {
    const auto year = digitsAt(text, 0, 4);
    const auto month = digitsAt(text, 5, 2);
    const auto day = digitsAt(text, 8, 2);
    if (!year || !month || !day || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(*year), std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    return CalendarDay{*year, *month, *day};
}

std::optional<StoreInstant> isoInstant(std::string_view text) {
    // "yyyy-MM-ddTHH:mm:ss" and then "Z" or "+hh:mm" / "-hh:mm".
    constexpr std::size_t dateTimeLength = 19;
    if (text.size() != dateTimeLength + 1 && text.size() != dateTimeLength + 6) {
        return std::nullopt;
    }
    const auto day = dayAt(text);
    const auto hour = digitsAt(text, 11, 2);
    const auto minute = digitsAt(text, 14, 2);
    const auto second = digitsAt(text, 17, 2);
    if (!day || text[10] != 'T' || !hour || !minute || !second || text[13] != ':' || text[16] != ':' || *hour > 23 ||
        *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    std::chrono::seconds offset{0};
    if (text.size() == dateTimeLength + 1) {
        if (text[dateTimeLength] != 'Z') {
            return std::nullopt;
        }
    } else {
        const char sign = text[dateTimeLength];
        const auto offsetHours = digitsAt(text, dateTimeLength + 1, 2);
        const auto offsetMinutes = digitsAt(text, dateTimeLength + 4, 2);
        if ((sign != '+' && sign != '-') || !offsetHours || !offsetMinutes || text[dateTimeLength + 3] != ':' ||
            *offsetHours > 23 || *offsetMinutes > 59) {
            return std::nullopt;
        }
        offset = std::chrono::hours(*offsetHours) + std::chrono::minutes(*offsetMinutes);
        if (sign == '-') {
            offset = -offset;
        }
    }
    const std::chrono::sys_days date{std::chrono::year(day->year) / day->month / day->day};
    return StoreInstant{date.time_since_epoch()} + std::chrono::hours(*hour) + std::chrono::minutes(*minute) +
           std::chrono::seconds(*second) - offset;
}

// The instant of a local wall-clock time; where the time falls into a
// daylight-saving gap the C library moves it on.
std::optional<StoreInstant> localInstant(std::tm wallClock) {
    wallClock.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&wallClock);
    if (seconds == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return StoreInstant{std::chrono::seconds(seconds)};
}

std::optional<StoreInstant> localMidnight(std::string_view text) {
    if (text.size() != 10) {
        return std::nullopt;
    }
    const auto day = dayAt(text);
    if (!day) {
        return std::nullopt;
    }
    std::tm wallClock{};
    wallClock.tm_year = day->year - 1900;
    wallClock.tm_mon = day->month - 1;
    wallClock.tm_mday = day->day;
    return localInstant(wallClock);
}

std::tm localWallClock(StoreInstant instant) {
    const std::time_t seconds = instant.time_since_epoch().count();
    std::tm wallClock{};
    localtime_r(&seconds, &wallClock);
    return wallClock;
}

}  // namespace

std::optional<StoreInstant> parseDate(std::string_view text) {
    if (auto instant = isoInstant(text)) {
        return instant;
    }
    return localMidnight(text);
}

std::optional<StoreInstant> parseDate(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    return parseDate(std::string_view(*text));
}

std::string isoDateText(StoreInstant instant) {
    const std::time_t seconds = instant.time_since_epoch().count();
    std::tm wallClock{};
    gmtime_r(&seconds, &wallClock);
    std::array<char, 32> text{};
    const auto length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &wallClock);
    return std::string(text.data(), length);
}

StoreInstant addingCalendarDays(StoreInstant instant, int days) {
    auto wallClock = localWallClock(instant);
    wallClock.tm_mday += days;
    return localInstant(wallClock).value_or(instant + std::chrono::days(days));
}

platform::DueDateComponents localDueDateComponents(StoreInstant instant) {
    const auto wallClock = localWallClock(instant);
    return {.year = wallClock.tm_year + 1900,
            .month = wallClock.tm_mon + 1,
            .day = wallClock.tm_mday,
            .hour = wallClock.tm_hour,
            .minute = wallClock.tm_min};
}

std::string dueDateText(const platform::DueDateComponents& due) {
    std::array<char, 64> text{};
    const int length = std::snprintf(text.data(), text.size(), "%04d-%02d-%02d %02d:%02d", due.year, due.month, due.day,
                                     due.hour, due.minute);
    return std::string(text.data(), static_cast<std::size_t>(length));
}

std::string fullLocalDateText(StoreInstant instant) {
    static constexpr std::array<const char*, 7> weekdays{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                         "Thursday", "Friday", "Saturday"};
    static constexpr std::array<const char*, 12> months{"January",   "February", "March",    "April",
                                                        "May",       "June",     "July",     "August",
                                                        "September", "October",  "November", "December"};
    const auto wallClock = localWallClock(instant);
    const int hour12 = wallClock.tm_hour % 12 == 0 ? 12 : wallClock.tm_hour % 12;
    std::array<char, 96> text{};
    const int length =
        std::snprintf(text.data(), text.size(), "%s, %s %d, %d at %d:%02d:%02d %s",
                      weekdays[static_cast<std::size_t>(wallClock.tm_wday)],
                      months[static_cast<std::size_t>(wallClock.tm_mon)], wallClock.tm_mday, wallClock.tm_year + 1900,
                      hour12, wallClock.tm_min, wallClock.tm_sec, wallClock.tm_hour < 12 ? "AM" : "PM");
    return std::string(text.data(), static_cast<std::size_t>(length));
}

}  // namespace lumenary::app
