#include "app/tools/calendar/calendar_event.hpp"

#include "app/tools/calendar/calendar_dates.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::app {

namespace {

void putPresent(mcp::Value::Object& object, const char* key, const std::optional<std::string>& value) {
    if (value) {
        object.emplace(key, *value);
    }
}

mcp::Value jsonObject(const CalendarEvent& event) {
    mcp::Value::Object object{
        {"id", event.id}, {"title", event.title}, {"calendarName", event.calendarName}, {"isAllDay", event.isAllDay}};
    putPresent(object, "location", event.location);
    putPresent(object, "notes", event.notes);
    putPresent(object, "startDate", event.startDate);
    putPresent(object, "endDate", event.endDate);
    putPresent(object, "url", event.url);
    return object;
}

}  // namespace

CalendarEvent CalendarEvent::from(const platform::StoreEvent& event) {
    return {.id = event.identifier,
            .title = event.title,
            .location = event.location,
            .notes = event.notes,
            .startDate = isoDateText(event.start),
            .endDate = isoDateText(event.end),
            .calendarName = event.calendar.title,
            .isAllDay = event.isAllDay,
            .url = event.url};
}

std::string calendarEventsJSON(const std::vector<CalendarEvent>& events) {
    mcp::Value::Array array;
    array.reserve(events.size());
    for (const auto& event : events) {
        array.push_back(jsonObject(event));
    }
    try {
        return mcp::writeJSON(mcp::Value(std::move(array)),
                              mcp::JSONWriteOptions{.escapeSlashes = true, .prettyPrinted = true});
    } catch (const mcp::EncodingError&) {
        return "[]";
    }
}

}  // namespace lumenary::app
