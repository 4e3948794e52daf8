#pragma once

#include <optional>
#include <string>

namespace lumenary::platform {

// The desktop entry that xdg-open's own lookup hands `link` to: the default
// application for the file's type (a file: link or a path), else the one
// for its scheme ("x-scheme-handler/mailto"), whose desktop file exists.
// Absent when none is set, and without a display (neither DISPLAY nor
// WAYLAND_DISPLAY set), where xdg-open does not look. Absent says nothing of
// xdg-open's other ways (mailcap, mimeopen, browsers); an xdg-mime that
// cannot be asked counts as no answer. Blocking: it asks xdg-mime.
std::optional<std::string> defaultLinkHandler(const std::string& link);

}  // namespace lumenary::platform
