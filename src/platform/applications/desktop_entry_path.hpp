#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace lumenary::platform {

// The file of the desktop entry `identifier` ("org.example.App.desktop",
// or "kde-app.desktop" for kde/app.desktop) in the applications folders of
// $XDG_DATA_HOME (else ~/.local/share) and then $XDG_DATA_DIRS (else
// /usr/local/share:/usr/share), the first that has it; absent for an id
// that is not a plain file name ending in ".desktop".
std::optional<std::filesystem::path> desktopEntryPath(const std::string& identifier);

}  // namespace lumenary::platform
