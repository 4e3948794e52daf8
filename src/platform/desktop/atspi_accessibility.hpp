#pragma once

#include <memory>

#include "platform/desktop/accessibility.hpp"

namespace lumenary::platform {

// The accessibility bus of the desktop session (AT-SPI 2), read through
// libatspi. It never switches the desktop's accessibility setting on: that
// setting outlives the program in the user's desktop settings.
std::unique_ptr<Accessibility> makeAtspiAccessibility();

}  // namespace lumenary::platform
