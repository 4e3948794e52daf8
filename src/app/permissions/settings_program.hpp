#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::app {

// The desktop's own settings page for accessibility, as an argument vector
// whose program is on PATH: GNOME's and KDE's, chosen by
// XDG_CURRENT_DESKTOP. Nothing on another desktop or when the program is
// not installed, so the panel offers no button that cannot work.
std::optional<std::vector<std::string>> accessibilitySettingsProgram();

// Starts a settings program through the process launcher and leaves it
// running; nothing when it started and did not fail at once, else why.
std::optional<platform::PlatformError> startSettingsProgram(const std::vector<std::string>& program);

}  // namespace lumenary::app
