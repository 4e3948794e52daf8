#include "app/host/standard_tool_categories.hpp"

#include <unistd.h>

#include <memory>

#include "app/permissions/settings_program.hpp"
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
#include "platform/applications/application_launcher.hpp"
#include "platform/applications/url_opener.hpp"
#include "platform/calendar/vdir_event_store.hpp"
#include "platform/contacts/vcard_folder_contact_store.hpp"
#include "platform/desktop/accessibility_setting.hpp"
#include "platform/desktop/atspi_accessibility.hpp"
#include "platform/desktop/xtest_input_events.hpp"
#include "platform/maps/http_maps_backend.hpp"
#include "platform/messages/kde_connect_message_sender.hpp"
#include "platform/messages/message_database.hpp"
#include "platform/music/mpris_music_player.hpp"
#include "platform/music/music_library_folder.hpp"
#include "platform/music/worker_tag_reader.hpp"
#include "platform/notes/folder_note_store.hpp"
#include "platform/vision/worker_vision_analyzer.hpp"

namespace lumenary::app {

namespace {

std::shared_ptr<platform::MusicLibrary> makeMusicLibrary(const platform::DefaultsStore& defaults) {
    const auto console = [console = logging::Console::standardError("")](const std::string& line) {
        console.print(line);
    };
    return std::make_shared<platform::MusicLibrary>(
        platform::MusicLibrarySettings{.folder = platform::musicLibraryFolder(defaults),
                                       .indexFile = platform::musicLibraryIndexFile()},
        std::make_shared<platform::WorkerTagReader>(platform::tagWorkerBesideThisProgram(), console), console);
}

// A desktop-entry id the user wrote under `key`; absent when not a text or
// empty.
std::optional<std::string> chosenApplication(const platform::DefaultsStore& defaults, std::string_view key) {
    if (const auto value = defaults.object(key); value && value->stringValue() != nullptr &&
                                                  !value->stringValue()->empty()) {
        return *value->stringValue();
    }
    return std::nullopt;
}

}  // namespace

StandardCategoryServices standardCategoryServices(const platform::DefaultsStore& defaults) {
    // The store keeps nothing between calls, so both categories can share it.
    auto store = platform::makeVdirEventStore(defaults);
    return {.eventStore = store,
            .eventKit = std::make_shared<EventKitService>(store, logging::Console::standardError("")),
            .contacts = std::make_shared<ContactsManager>(platform::makeVCardFolderContactStore(defaults)),
            .messages = std::make_shared<platform::MessageDatabase>(platform::messagesDatabasePath(defaults)),
            .desktop = std::make_shared<MacOSControlService>(platform::makeAtspiAccessibility(),
                                                             platform::makeXTestInputEvents(), ::getpid()),
            .urlOpener = std::make_shared<platform::XdgUrlOpener>()};
}

ToolCategories standardToolCategories(const StandardCategoryServices& services,
                                      const platform::DefaultsStore& defaults) {
    ToolCategories categories;
    categories[static_cast<std::size_t>(ToolCategoryKind::calendar)] =
        std::make_shared<CalendarToolHandler>(std::make_shared<CalendarManager>(services.eventStore), services.urlOpener);
    categories[static_cast<std::size_t>(ToolCategoryKind::reminders)] =
        std::make_shared<RemindersToolHandler>(services.eventKit, std::make_shared<platform::GioApplicationLauncher>(),
                                               chosenApplication(defaults, "remindersApplication"));
    categories[static_cast<std::size_t>(ToolCategoryKind::contacts)] =
        std::make_shared<ContactsToolHandler>(services.contacts);
    categories[static_cast<std::size_t>(ToolCategoryKind::notes)] =
        std::make_shared<NotesToolHandler>(platform::makeFolderNoteStore(defaults));
    categories[static_cast<std::size_t>(ToolCategoryKind::messages)] =
        std::make_shared<MessagesToolHandler>(services.messages, platform::makeKdeConnectMessageSender(defaults));
    categories[static_cast<std::size_t>(ToolCategoryKind::mail)] = std::make_shared<MailToolHandler>(services.urlOpener);
    categories[static_cast<std::size_t>(ToolCategoryKind::maps)] =
        std::make_shared<MapsToolHandler>(std::make_shared<MapsService>(
            std::make_shared<platform::HTTPMapsBackend>(platform::HTTPMapsBackendSettings::configured(defaults)),
            services.urlOpener, configuredMapsOpenURL(defaults)));
    categories[static_cast<std::size_t>(ToolCategoryKind::desktopControl)] =
        std::make_shared<MacOSControlToolHandler>(services.desktop);
    categories[static_cast<std::size_t>(ToolCategoryKind::music)] =
        std::make_shared<MusicToolHandler>(platform::makeMprisMusicPlayer(defaults), makeMusicLibrary(defaults),
                                           services.urlOpener);
    categories[static_cast<std::size_t>(ToolCategoryKind::vision)] = std::make_shared<VisionToolHandler>(
        std::make_shared<VisionService>(platform::vision::makeWorkerVisionAnalyzer(defaults)));
    return categories;
}

ToolCategories standardToolCategories(const platform::DefaultsStore& defaults) {
    return standardToolCategories(standardCategoryServices(defaults), defaults);
}

std::shared_ptr<ProbePermissionManager> standardPermissionManager(const StandardCategoryServices& services) {
    return std::make_shared<ProbePermissionManager>(PermissionProbeSources{
        .eventKit = services.eventKit,
        .contacts = services.contacts,
        .messages = services.messages,
        .desktop = services.desktop,
        .accessibilitySetting = [] { return platform::desktopAccessibilityEnabled(); },
        .accessibilitySettingsProgram = accessibilitySettingsProgram,
        .urlOpener = services.urlOpener,
        .startProgram = startSettingsProgram,
        .console = logging::Console::standardError(""),
        .probeBound = std::chrono::seconds(1)});
}

}  // namespace lumenary::app
