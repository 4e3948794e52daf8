#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/permissions/permission_manager.hpp"
#include "platform/calendar/event_store.hpp"

namespace lumenary::app {

// The guidance the permission alert shows, one builder per kind of store.
// Locations are made absolute (a relative one is relative to the program's
// working folder, which the user does not see); hints are valid UTF-8 even
// for a path that is not, while the folder to open keeps the path's bytes.
// Each reads the file system only to choose the folder to open.

PermissionGuidance eventStoreGuidance(platform::EventStoreEntity entity, const std::filesystem::path& folder);
PermissionGuidance contactsGuidance(const std::filesystem::path& folder);
PermissionGuidance messagesGuidance(const std::filesystem::path& database);
// `accessibilityEnabled` is the desktop's accessibility setting (absent when
// unknown); `settingsProgram` is offered only while that setting is off.
PermissionGuidance desktopControlGuidance(std::optional<bool> accessibilityEnabled,
                                          std::optional<std::vector<std::string>> settingsProgram);
PermissionGuidance nothingToGrantGuidance();
// When a probe did not answer in time: says so, opens nothing.
PermissionGuidance unansweredGuidance(const std::filesystem::path& location, std::chrono::milliseconds bound);

// The folder that best shows the user `location`: itself when it is a
// folder, else the folder that holds it when that is one, else nothing.
std::optional<std::string> folderShowing(const std::filesystem::path& location);

}  // namespace lumenary::app
