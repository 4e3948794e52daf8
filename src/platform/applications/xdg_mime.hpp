#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// The desktop's file types and default applications as xdg-mime tells
// them, which is where xdg-open looks them up. Each asks xdg-mime directly,
// never through a shell, and blocks for as long as it answers (10 s at
// most): callers run it on the worker pool. The error is the launcher's,
// for an xdg-mime that could not be started (code ENOENT: xdg-utils is not
// installed).

// The desktop-entry id ("org.gnome.Calendar.desktop") of the default
// application for `mimeType`; absent when none is set.
PlatformOutcome<std::optional<std::string>> xdgMimeDefault(const std::string& mimeType);

// The type of `file` without its parameters ("text/calendar"); absent when
// xdg-mime cannot tell.
PlatformOutcome<std::optional<std::string>> xdgMimeFileType(const std::filesystem::path& file);

}  // namespace lumenary::platform
