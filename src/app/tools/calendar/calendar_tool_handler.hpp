#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/tools/calendar/calendar_manager.hpp"
#include "app/tools/tool_category.hpp"
#include "platform/applications/url_opener.hpp"

namespace lumenary::app {

// The calendar category: get_events, search_events, create_event and
// open_event. Every call first needs access to events ("CalendarTool" 403
// otherwise, whatever the name); event lists answer as pretty-printed JSON
// arrays of CalendarEvent, the rest as short status lines. open_event hands
// the event's file to the URL opener, so the user's calendar application
// (the default for text/calendar) shows it.
class CalendarToolHandler final : public ToolCategory {
public:
    CalendarToolHandler(std::shared_ptr<CalendarManager> manager, std::shared_ptr<platform::UrlOpener> opener);

    std::vector<MCPTool> tools() const override;
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;

private:
    asio::awaitable<ToolOutcome<std::string>> getEvents(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> searchEvents(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> createEvent(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> openEvent(const PlainDictionary& arguments);

    std::shared_ptr<CalendarManager> manager_;
    std::shared_ptr<platform::UrlOpener> opener_;
};

}  // namespace lumenary::app
