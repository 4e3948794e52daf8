#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/calendar/event_store.hpp"

namespace lumenary::app {

// Dates as the calendar and reminder tools read and write them. "Local"
// means the user's time zone as the C library sees it (TZ), so any zone
// works and a test may choose one.

// A client's date text in the ISO 8601 forms assistants send: a date alone
// ("2024-01-15", local midnight at the start of that day), or a date, "T"
// (or a space) and a time to the minute, second or any fraction of one
// ("09:00", "09:00:00", "09:00:00.000"), followed by "Z", an offset
// ("+02:00", "+0200", "+02") or nothing (local time). A local time the
// clocks skip reads with the offset before the change, one they pass twice
// as the first. Fractions are dropped; impossible dates and free text read
// as nothing.
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
