#pragma once

#include <string_view>

#include "app/permissions/permission_manager.hpp"

namespace lumenary::app::ui {

// The permission that guards the tool category shown under `displayName`
// (whole, case-sensitive match); `none` for a name it does not know.
PermissionCategory categoryPermission(std::string_view displayName);

}  // namespace lumenary::app::ui
