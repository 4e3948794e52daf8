#pragma once

#include <memory>

#include "platform/desktop/input_events.hpp"

namespace lumenary::platform {

// Input events through the X server's XTest extension, on the display that
// DISPLAY names: X11 and XWayland windows only.
std::unique_ptr<InputEvents> makeXTestInputEvents();

}  // namespace lumenary::platform
