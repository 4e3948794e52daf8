#include "app/tools/calendar/date_argument.hpp"

#include "app/tools/calendar/calendar_dates.hpp"
#include "app/tools/tool_arguments.hpp"

namespace lumenary::app {

ToolOutcome<std::optional<platform::StoreInstant>> dateArgument(const PlainDictionary& arguments, std::string_view name,
                                                                const std::string& domain) {
    const auto text = textArgument(arguments, name);
    if (!text) {
        return std::optional<platform::StoreInstant>();
    }
    const auto instant = parseDate(std::string_view(*text));
    if (!instant) {
        return ToolError(domain, 400, invalidDateDescription(name));
    }
    return instant;
}

std::string invalidDateDescription(std::string_view name) {
    return "Invalid date format. Use ISO8601. " + std::string(name) +
           " takes 2026-12-18 (local midnight), 2026-12-18T09:00:00 (local time), or a date and time followed by Z "
           "or an offset such as +01:00 or +0100 (2026-12-18T09:00:00.000Z); seconds and their fraction may be left "
           "out.";
}

}  // namespace lumenary::app
