#include "app/permissions/probe_permission_manager.hpp"

#include <utility>

#include "app/permissions/permission_guidance_texts.hpp"
#include "system/utf8.hpp"

namespace lumenary::app {

namespace {

using platform::EventStoreAccess;
using platform::EventStoreEntity;
using Kind = PermissionCategory::Kind;

// Restricted, denied, write-only and any state a store adds later all keep
// the category off.
PermissionStatus statusOf(EventStoreAccess access) {
    switch (access) {
        case EventStoreAccess::notDetermined: return PermissionStatus::notDetermined;
        case EventStoreAccess::fullAccess: return PermissionStatus::granted;
        default: return PermissionStatus::denied;
    }
}

std::string requestErrorLead(EventStoreEntity entity) {
    return entity == EventStoreEntity::events ? "Error requesting calendar access: "
                                              : "Error requesting reminders access: ";
}

std::string unansweredDescription(const std::string& what, const std::string& location,
                                  std::chrono::milliseconds bound) {
    return "the " + what + " " + system::repairUTF8(location) + " did not answer within " + std::to_string(bound.count()) +
           " ms";
}

}  // namespace

ProbePermissionManager::ProbePermissionManager(PermissionProbeSources sources)
    : sources_(std::move(sources)), probes_(sources_.probeBound) {}

PermissionStatus ProbePermissionManager::status(const PermissionCategory& category) {
    switch (category.kind) {
        case Kind::calendar: return eventStoreStatus(EventStoreEntity::events);
        case Kind::reminders: return eventStoreStatus(EventStoreEntity::reminders);
        case Kind::contacts: return contactsStatus();
        case Kind::fullDiskAccess: return fullDiskAccessStatus();
        case Kind::accessibility: return accessibilityStatus();
        case Kind::automation: return PermissionStatus::notDetermined;
        case Kind::none: return PermissionStatus::granted;
    }
    return PermissionStatus::denied;
}

PermissionStatus ProbePermissionManager::eventStoreStatus(EventStoreEntity entity) {
    auto probe = [store = sources_.eventKit->eventStore(), entity] { return store->access(entity); };
    const auto access = probes_.answerBlocking(std::move(probe));
    return access ? statusOf(*access) : PermissionStatus::denied;
}

PermissionStatus ProbePermissionManager::contactsStatus() {
    auto probe = [store = sources_.contacts->contactStore()] { return store->access(); };
    const auto access = probes_.answerBlocking(std::move(probe));
    return access == platform::ContactStoreAccess::granted ? PermissionStatus::granted : PermissionStatus::denied;
}

PermissionStatus ProbePermissionManager::fullDiskAccessStatus() {
    auto probe = [database = sources_.messages] { return !database->readabilityProblem().has_value(); };
    return probes_.answerBlocking(std::move(probe)) == true ? PermissionStatus::granted : PermissionStatus::denied;
}

PermissionStatus ProbePermissionManager::accessibilityStatus() {
    const auto refusal = probes_.answer(sources_.desktop->trustRefusal());
    return refusal && !refusal->has_value() ? PermissionStatus::granted : PermissionStatus::notDetermined;
}

asio::awaitable<bool> ProbePermissionManager::request(PermissionCategory category) {
    switch (category.kind) {
        case Kind::calendar: co_return co_await requestEventStoreAccess(EventStoreEntity::events);
        case Kind::reminders: co_return co_await requestEventStoreAccess(EventStoreEntity::reminders);
        case Kind::contacts: co_return co_await requestContactsAccess();
        case Kind::fullDiskAccess:
        case Kind::accessibility: co_return co_await probedAgain(std::move(category));
        case Kind::automation:
        case Kind::none: co_return true;
    }
    co_return false;
}

asio::awaitable<bool> ProbePermissionManager::requestEventStoreAccess(EventStoreEntity entity) {
    auto& eventKit = *sources_.eventKit;
    auto operation =
        entity == EventStoreEntity::events ? eventKit.requestCalendarAccess() : eventKit.requestRemindersAccess();
    auto granted = co_await probes_.await(std::move(operation));
    if (!granted) {
        const std::string what = entity == EventStoreEntity::events ? "calendar folder" : "reminders folder";
        sources_.console.print(requestErrorLead(entity),
                               unansweredDescription(what, eventKit.eventStore()->locationDescription(entity),
                                                     probes_.bound()));
        co_return false;
    }
    if (!*granted) {
        sources_.console.print(requestErrorLead(entity), granted->error().description);
        co_return false;
    }
    co_return granted->value();
}

asio::awaitable<bool> ProbePermissionManager::requestContactsAccess() {
    auto operation = sources_.contacts->requestAccess();
    const auto refusal = co_await probes_.await(std::move(operation));
    if (!refusal) {
        sources_.console.print("Error requesting contacts access: ",
                               unansweredDescription("contacts folder",
                                                     sources_.contacts->contactStore()->locationDescription(),
                                                     probes_.bound()));
        co_return false;
    }
    if (*refusal) {
        sources_.console.print("Error requesting contacts access: ", (*refusal)->description);
        co_return false;
    }
    co_return true;
}

asio::awaitable<bool> ProbePermissionManager::probedAgain(PermissionCategory category) {
    if (category.kind == Kind::accessibility) {
        auto operation = sources_.desktop->trustRefusal();
        const auto refusal = co_await probes_.await(std::move(operation));
        co_return refusal && !refusal->has_value();
    }
    auto probe = [database = sources_.messages] { return !database->readabilityProblem().has_value(); };
    co_return co_await probes_.awaitBlocking(std::move(probe)) == true;
}

PermissionGuidance ProbePermissionManager::guidance(const PermissionCategory& category) {
    const auto bounded = [this](auto build, const std::string& location) {
        auto answer = probes_.answerBlocking(std::move(build));
        return answer ? std::move(*answer) : unansweredGuidance(location, probes_.bound());
    };
    switch (category.kind) {
        case Kind::calendar:
        case Kind::reminders: {
            const auto entity = category.kind == Kind::calendar ? EventStoreEntity::events : EventStoreEntity::reminders;
            const std::string folder = sources_.eventKit->eventStore()->locationDescription(entity);
            return bounded([entity, folder] { return eventStoreGuidance(entity, folder); }, folder);
        }
        case Kind::contacts: {
            const std::string folder = sources_.contacts->contactStore()->locationDescription();
            return bounded([folder] { return contactsGuidance(folder); }, folder);
        }
        case Kind::fullDiskAccess: {
            const auto database = sources_.messages->path();
            return bounded([database] { return messagesGuidance(database); }, database.string());
        }
        case Kind::accessibility: return accessibilityGuidance();
        case Kind::automation:
        case Kind::none: return nothingToGrantGuidance();
    }
    return nothingToGrantGuidance();
}

PermissionGuidance ProbePermissionManager::accessibilityGuidance() {
    std::optional<bool> enabled;
    if (sources_.accessibilitySetting) {
        enabled = probes_.answerBlocking(sources_.accessibilitySetting).value_or(std::nullopt);
    }
    std::optional<std::vector<std::string>> program;
    if (enabled == false && sources_.accessibilitySettingsProgram) {
        program = sources_.accessibilitySettingsProgram();
    }
    return desktopControlGuidance(enabled, std::move(program));
}

void ProbePermissionManager::openSystemSettings(const PermissionCategory& category) {
    const auto shown = guidance(category);
    if (shown.settingsLocation && sources_.urlOpener) {
        if (const auto failure = sources_.urlOpener->open(*shown.settingsLocation)) {
            sources_.console.print("[PermissionManager] Could not open ", system::repairUTF8(*shown.settingsLocation),
                                   ": ", failure->description);
        }
        return;
    }
    if (shown.settingsProgram && sources_.startProgram) {
        if (const auto failure = sources_.startProgram(*shown.settingsProgram)) {
            sources_.console.print("[PermissionManager] Could not start ", shown.settingsProgram->front(), ": ",
                                   failure->description);
        }
    }
}

}  // namespace lumenary::app
