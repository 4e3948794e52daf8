#include "app/host/standard_tool_categories.hpp"

#include <unistd.h>

#include <memory>

#include "app/tools/calendar/calendar_tool_handler.hpp"
#include "app/tools/contacts/contacts_tool_handler.hpp"
#include "app/tools/desktop/macos_control_tool_handler.hpp"
#include "app/tools/mail/mail_tool_handler.hpp"
#include "app/tools/maps/maps_tool_handler.hpp"
#include "app/tools/messages/messages_tool_handler.hpp"
#include "app/tools/music/music_tool_handler.hpp"
#include "app/tools/notes/notes_tool_handler.hpp"
#include "app/tools/reminders/reminders_tool_handler.hpp"
#include "app/tools/vision/vision_tool_handler.hpp"
#include "logging/console.hpp"
#include "platform/desktop/atspi_accessibility.hpp"
#include "platform/desktop/xtest_input_events.hpp"
#include "platform/folder_note_store.hpp"
#include "platform/http_maps_backend.hpp"
#include "platform/kde_connect_message_sender.hpp"
#include "platform/message_database.hpp"
#include "platform/mpris_music_player.hpp"
#include "platform/script_runner.hpp"
#include "platform/url_opener.hpp"
#include "platform/vcard_folder_contact_store.hpp"
#include "platform/vdir_event_store.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"

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
    categories[static_cast<std::size_t>(ToolCategoryKind::notes)] =
        std::make_shared<NotesToolHandler>(platform::makeFolderNoteStore(defaults));
    categories[static_cast<std::size_t>(ToolCategoryKind::messages)] = std::make_shared<MessagesToolHandler>(
        std::make_shared<platform::MessageDatabase>(platform::messagesDatabasePath(defaults)),
        platform::makeKdeConnectMessageSender(defaults));

    auto opener = std::make_shared<platform::XdgUrlOpener>();
    categories[static_cast<std::size_t>(ToolCategoryKind::mail)] = std::make_shared<MailToolHandler>(opener);
    categories[static_cast<std::size_t>(ToolCategoryKind::maps)] =
        std::make_shared<MapsToolHandler>(std::make_shared<MapsService>(
            std::make_shared<platform::HTTPMapsBackend>(platform::HTTPMapsBackendSettings::configured(defaults)),
            opener, configuredMapsOpenURL(defaults)));
    categories[static_cast<std::size_t>(ToolCategoryKind::desktopControl)] =
        std::make_shared<MacOSControlToolHandler>(std::make_shared<MacOSControlService>(
            platform::makeAtspiAccessibility(), platform::makeXTestInputEvents(), ::getpid()));
    categories[static_cast<std::size_t>(ToolCategoryKind::music)] =
        std::make_shared<MusicToolHandler>(platform::makeMprisMusicPlayer(defaults));
    categories[static_cast<std::size_t>(ToolCategoryKind::vision)] = std::make_shared<VisionToolHandler>(
        std::make_shared<VisionService>(platform::vision::makeWorkerVisionAnalyzer()));
    return categories;
}

}  // namespace lumenary::app
