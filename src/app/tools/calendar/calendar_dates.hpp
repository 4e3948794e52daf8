#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/calendar/event_store.hpp"

namespace lumenary::app {

// Dates as the calendar and reminder tools read and write them. "Local"
// means the user's time zone as the C library sees it (TZ), so any zone
// works and a test may choose one.

// A client's date text: first a date and time to the second followed by Z
// or an offset of hours and minutes ("2024-01-15T09:00:00+02:00"), else a
// bare "yyyy-MM-dd" read as local midnight at the start of that day.
// Fractional seconds, impossible dates and free text read as nothing.
std::optional<platform::StoreInstant> parseDate(std::string_view text);
// Nothing given reads as nothing.
std::optional<platform::StoreInstant> parseDate(const std::optional<std::string>& text);

// The instant in UTC with the suffix Z, as in "2024-01-15T09:00:00Z".
std::string isoDateText(platform::StoreInstant instant);

// `days` calendar days later (or earlier) in local time: the clock time
// stays the same across a daylight-saving change.
platform::StoreInstant addingCalendarDays(platform::StoreInstant instant, int days);

// The local year, month, day, hour and minute of an instant; seconds are
// dropped.
platform::DueDateComponents localDueDateComponents(platform::StoreInstant instant);

// "yyyy-MM-dd HH:mm"
std::string dueDateText(const platform::DueDateComponents& due);

// The local date and time written out in full, as in
// "Monday, January 15, 2024 at 9:00:00 AM".
std::string fullLocalDateText(platform::StoreInstant instant);

}  // namespace lumenary::app
