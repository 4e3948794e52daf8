#pragma once

#include <memory>

#include "app/permissions/probe_permission_manager.hpp"
#include "app/tools/contacts/contacts_manager.hpp"
#include "app/tools/desktop/macos_control_service.hpp"
#include "app/tools/local_tool_service.hpp"
#include "app/tools/reminders/event_kit_service.hpp"
#include "platform/applications/url_opener.hpp"
#include "platform/calendar/event_store.hpp"
#include "platform/defaults/defaults_store.hpp"
#include "platform/messages/message_database.hpp"

namespace lumenary::app {

// The services behind the categories that need a permission, made once so
// that the categories and the permission probes share them: desktop control
// above all, whose libraries may be called from one thread of the process
// only. The calendar and reminders categories work on the folders that the
// environment and the defaults name, read once, here.
struct StandardCategoryServices {
    std::shared_ptr<platform::EventStore> eventStore;
    std::shared_ptr<EventKitService> eventKit;
    std::shared_ptr<ContactsManager> contacts;
    std::shared_ptr<platform::MessageDatabase> messages;
    std::shared_ptr<MacOSControlService> desktop;
    std::shared_ptr<platform::UrlOpener> urlOpener;
};

StandardCategoryServices standardCategoryServices(const platform::DefaultsStore& defaults);

// The category handlers this program offers, one per row of the category
// table, handed to the process's tool service at start.
ToolCategories standardToolCategories(const StandardCategoryServices& services,
                                      const platform::DefaultsStore& defaults);
// The same over services of their own.
ToolCategories standardToolCategories(const platform::DefaultsStore& defaults);

// The permission probes over the same services, diagnostics to standard
// error.
std::shared_ptr<ProbePermissionManager> standardPermissionManager(const StandardCategoryServices& services);

}  // namespace lumenary::app
