#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/tools/reminders/event_kit_service.hpp"
#include "app/tools/tool_category.hpp"
#include "platform/applications/application_launcher.hpp"

namespace lumenary::app {

// The reminders category: reminders_add, reminders_fetch, reminders_find,
// reminders_get_lists (through the store service) and reminders_open_app,
// which starts the user's calendar or task application: the desktop entry
// the defaults key remindersApplication names, else the default application
// for text/calendar. Answers are short texts with status marks;
// a store failure comes back as "LocalTool" 500 naming what failed, followed
// by the store's description.
class RemindersToolHandler final : public ToolCategory {
public:
    // `application`: the desktop-entry id the user chose, if any.
    RemindersToolHandler(std::shared_ptr<EventKitService> service,
                         std::shared_ptr<platform::ApplicationLauncher> launcher,
                         std::optional<std::string> application = std::nullopt);

    std::vector<MCPTool> tools() const override;
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;

private:
    asio::awaitable<ToolOutcome<std::string>> add(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> fetch(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> find(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> getLists();
    asio::awaitable<ToolOutcome<std::string>> openApp();

    std::shared_ptr<EventKitService> service_;
    std::shared_ptr<platform::ApplicationLauncher> launcher_;
    std::optional<std::string> application_;
};

}  // namespace lumenary::app
