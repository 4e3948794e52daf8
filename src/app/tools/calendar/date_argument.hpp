#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/tools/plain_value.hpp"
#include "app/tools/tool_outcome.hpp"
#include "platform/calendar/event_store.hpp"

namespace lumenary::app {

// The one way the calendar and reminder tools read a date argument, so that
// a date given is never dropped for a default or an answer without it.
// Absent (or not text): nothing, and the tool's default applies. Read:
// the instant. Given but unreadable: a 400 ToolError in `domain` whose text
// is invalidDateDescription(name).
ToolOutcome<std::optional<platform::StoreInstant>> dateArgument(const PlainDictionary& arguments, std::string_view name,
                                                                const std::string& domain);

// "Invalid date format. Use ISO8601." followed by the argument's name and
// the forms parseDate takes.
std::string invalidDateDescription(std::string_view name);

}  // namespace lumenary::app
