#include "app/host/standard_tool_categories.hpp"

#include <memory>

#include "app/tools/calendar/calendar_tool_handler.hpp"
#include "app/tools/contacts/contacts_tool_handler.hpp"
#include "app/tools/music/music_tool_handler.hpp"
#include "app/tools/reminders/reminders_tool_handler.hpp"
#include "logging/console.hpp"
#include "platform/mpris_music_player.hpp"
#include "platform/script_runner.hpp"
#include "platform/vcard_folder_contact_store.hpp"
#include "platform/vdir_event_store.hpp"

namespace lumenary::app {

ToolCategories standardToolCategories(const platform::DefaultsStore& defaults) {
    // The store keeps nothing between calls, so both categories can share it.
    auto store = platform::makeVdirEventStore(defaults);
    auto scripts = std::make_shared<platform::UnavailableScriptRunner>();
    auto eventKit = std::make_shared<EventKitService>(store, logging::Console::standardError(""));

    ToolCategories categories;
    categories[static_cast<std::size_t>(ToolCategoryKind::calendar)] =
        std::make_shared<CalendarToolHandler>(std::make_shared<CalendarManager>(store), scripts);
    categories[static_cast<std::size_t>(ToolCategoryKind::reminders)] =
        std::make_shared<RemindersToolHandler>(eventKit, scripts);
    categories[static_cast<std::size_t>(ToolCategoryKind::contacts)] = std::make_shared<ContactsToolHandler>(
        std::make_shared<ContactsManager>(platform::makeVCardFolderContactStore(defaults)));
    categories[static_cast<std::size_t>(ToolCategoryKind::music)] =
        std::make_shared<MusicToolHandler>(platform::makeMprisMusicPlayer(defaults));
    // The other categories are not built for this platform yet: an empty
    // slot lists nothing, so their calls are answered "Tool not found".
    return categories;
}

}  // namespace lumenary::app
