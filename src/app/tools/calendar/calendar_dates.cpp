#include "app/tools/calendar/calendar_dates.hpp"

#include <array>
#include <chrono>
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

// "HH:mm", "HH:mm:ss" or "HH:mm:ss.fff…" (any number of digits, dropped,
// since instants are kept to the second) at the start of `text`: the
// seconds since midnight and how many characters it took.
struct ClockTime {
    std::chrono::seconds sinceMidnight;
    std::size_t length;
};

std::optional<ClockTime> clockTimeAt(std::string_view text) {
    const auto hour = digitsAt(text, 0, 2);
    const auto minute = digitsAt(text, 3, 2);
    if (!hour || !minute || text[2] != ':' || *hour > 23 || *minute > 59) {
        return std::nullopt;
    }
    ClockTime time{std::chrono::hours(*hour) + std::chrono::minutes(*minute), 5};
    if (text.size() == time.length || text[time.length] != ':') {
        return time;
    }
    const auto second = digitsAt(text, 6, 2);
    if (!second || *second > 59) {
        return std::nullopt;
    }
    time.sinceMidnight += std::chrono::seconds(*second);
    time.length = 8;
    if (text.size() == time.length || (text[time.length] != '.' && text[time.length] != ',')) {
        return time;
    }
    std::size_t fractionEnd = time.length + 1;
    while (fractionEnd < text.size() && text[fractionEnd] >= '0' && text[fractionEnd] <= '9') {
        ++fractionEnd;
    }
    if (fractionEnd == time.length + 1) {
        return std::nullopt;
    }
    time.length = fractionEnd;
    return time;
}

// What follows the clock time: nothing (local time), "Z", or an offset
// "+hh:mm", "+hhmm" or "+hh" (or with "-"). Outer nothing: not a zone;
// inner nothing: local time.
std::optional<std::optional<std::chrono::seconds>> zoneOffset(std::string_view text) {
    if (text.empty()) {
        return std::optional<std::chrono::seconds>();
    }
    if (text == "Z" || text == "z") {
        return std::optional<std::chrono::seconds>(0);
    }
    const char sign = text[0];
    const auto hours = digitsAt(text, 1, 2);
    std::optional<int> minutes = 0;
    if (text.size() == 6 && text[3] == ':') {
        minutes = digitsAt(text, 4, 2);
    } else if (text.size() == 5) {
        minutes = digitsAt(text, 3, 2);
    } else if (text.size() != 3) {
        return std::nullopt;
    }
    if ((sign != '+' && sign != '-') || !hours || !minutes || *hours > 23 || *minutes > 59) {
        return std::nullopt;
    }
    const std::chrono::seconds offset = std::chrono::hours(*hours) + std::chrono::minutes(*minutes);
    return std::optional<std::chrono::seconds>(sign == '-' ? -offset : offset);
}

std::chrono::seconds utcOffsetAt(StoreInstant instant) {
    const std::time_t seconds = instant.time_since_epoch().count();
    std::tm wallClock{};
    localtime_r(&seconds, &wallClock);
    return std::chrono::seconds(wallClock.tm_gmtoff);
}

// The instant a person means by a local wall-clock time (given as if it
// were UTC). Decided here rather than left to mktime, whose choice in a
// daylight-saving change varies: a time the clocks skip is read with the
// offset in force before the change (so 02:30 becomes 03:30 when 02:00
// jumps to 03:00), and a time the clocks pass twice is the first of them.
StoreInstant instantOfLocalTime(StoreInstant wallClockAsUTC) {
    // No zone changes its offset twice within two days, so the offsets a
    // day either side are the only ones this wall-clock time can have.
    const auto offsetBefore = utcOffsetAt(wallClockAsUTC - std::chrono::days(1));
    const auto offsetAfter = utcOffsetAt(wallClockAsUTC + std::chrono::days(1));
    std::optional<StoreInstant> earliest;
    for (const auto offset : {offsetBefore, offsetAfter}) {
        const StoreInstant candidate = wallClockAsUTC - offset;
        if (candidate + utcOffsetAt(candidate) == wallClockAsUTC && (!earliest || candidate < *earliest)) {
            earliest = candidate;
        }
    }
    return earliest.value_or(wallClockAsUTC - offsetBefore);
}

// The instant of a local wall-clock time for calendar arithmetic; where
// the time falls into a daylight-saving gap the C library moves it on.
std::optional<StoreInstant> localInstant(std::tm wallClock) {
    wallClock.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&wallClock);
    if (seconds == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return StoreInstant{std::chrono::seconds(seconds)};
}

std::tm localWallClock(StoreInstant instant) {
    const std::time_t seconds = instant.time_since_epoch().count();
    std::tm wallClock{};
    localtime_r(&seconds, &wallClock);
    return wallClock;
}

}  // namespace

std::optional<StoreInstant> parseDate(std::string_view text) {
    constexpr std::size_t dateLength = 10;
    const auto day = dayAt(text);
    if (!day) {
        return std::nullopt;
    }
    const std::chrono::sys_days date{std::chrono::year(day->year) / day->month / day->day};
    const StoreInstant midnightAsUTC{date.time_since_epoch()};
    if (text.size() == dateLength) {
        return instantOfLocalTime(midnightAsUTC);
    }
    const char separator = text[dateLength];
    if (separator != 'T' && separator != 't' && separator != ' ') {
        return std::nullopt;
    }
    const auto rest = text.substr(dateLength + 1);
    const auto time = clockTimeAt(rest);
    if (!time) {
        return std::nullopt;
    }
    const auto offset = zoneOffset(rest.substr(time->length));
    if (!offset) {
        return std::nullopt;
    }
    const StoreInstant wallClockAsUTC = midnightAsUTC + time->sinceMidnight;
    if (!*offset) {
        return instantOfLocalTime(wallClockAsUTC);
    }
    return wallClockAsUTC - **offset;
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
