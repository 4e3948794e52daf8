#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/permissions/bounded_probes.hpp"
#include "app/permissions/permission_manager.hpp"
#include "app/tools/contacts/contacts_manager.hpp"
#include "app/tools/desktop/macos_control_service.hpp"
#include "app/tools/reminders/event_kit_service.hpp"
#include "logging/console.hpp"
#include "platform/applications/url_opener.hpp"
#include "platform/messages/message_database.hpp"
#include "platform/platform_error.hpp"

namespace lumenary::app {

// What the probes ask: the very services the tool categories use, so a
// category's switch and its tools never disagree about access.
struct PermissionProbeSources {
    // Calendar and reminders: the event store's access and requests.
    std::shared_ptr<EventKitService> eventKit;
    // Contacts: the contacts store's rule.
    std::shared_ptr<ContactsManager> contacts;
    // Full disk access: whether the messages database opens read-only.
    std::shared_ptr<platform::MessageDatabase> messages;
    // Accessibility: desktop control's trust check.
    std::shared_ptr<MacOSControlService> desktop;
    // The desktop's accessibility setting; absent when unknown.
    std::function<std::optional<bool>()> accessibilitySetting;
    // The settings program that switches that setting, when there is one.
    std::function<std::optional<std::vector<std::string>>()> accessibilitySettingsProgram;
    // "去设置" for a folder.
    std::shared_ptr<platform::UrlOpener> urlOpener;
    // "去设置" for a settings program.
    std::function<std::optional<platform::PlatformError>(const std::vector<std::string>&)> startProgram;
    // Takes the request errors and the failures of "去设置".
    logging::Console console;
    // How long one probe may take before its category counts as unusable.
    std::chrono::milliseconds probeBound{1'000};
};

// The permission manager of this platform: nothing is granted by a system
// prompt here, so every status is a probe of the store, database or desktop
// behind a category, read afresh each time and answered within the probe
// bound (a probe that does not answer leaves its category unusable:
// denied, or not determined for desktop control, which is never denied).
//
// Calendar and reminders are not determined while their folder is absent
// and their request makes it; contacts are granted for a readable or absent
// folder; full disk access is granted when the messages database opens
// read-only; desktop control when the trust check passes. Automation is not
// determined and its request answers true at once; `none` is granted.
//
// Safe to call from several threads. Requests must not outlive the manager.
class ProbePermissionManager final : public PermissionManager {
public:
    explicit ProbePermissionManager(PermissionProbeSources sources);

    PermissionStatus status(const PermissionCategory& category) override;
    asio::awaitable<bool> request(PermissionCategory category) override;
    PermissionGuidance guidance(const PermissionCategory& category) override;
    void openSystemSettings(const PermissionCategory& category) override;

private:
    PermissionStatus eventStoreStatus(platform::EventStoreEntity entity);
    PermissionStatus contactsStatus();
    PermissionStatus fullDiskAccessStatus();
    PermissionStatus accessibilityStatus();

    asio::awaitable<bool> requestEventStoreAccess(platform::EventStoreEntity entity);
    asio::awaitable<bool> requestContactsAccess();
    // A request without a request of its own: the status read again.
    asio::awaitable<bool> probedAgain(PermissionCategory category);

    PermissionGuidance accessibilityGuidance();

    PermissionProbeSources sources_;
    // Last: joined before the services its probes use go.
    BoundedProbes probes_;
};

}  // namespace lumenary::app
