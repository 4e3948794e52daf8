#pragma once

#include <string>
#include <vector>

#include "app/tools/desktop/macos_control_service.hpp"

namespace lumenary::app {

// The tools' pretty-printed JSON: an array of {"name", "bundleIdentifier",
// "processIdentifier"} objects, and one element object whose "children",
// when present, holds elements of the same form. Throws mcp::EncodingError
// for text that is not UTF-8.
std::string appsJSON(const std::vector<MacOSControlService::AppInfo>& apps);
std::string elementJSON(const MacOSControlService::UIElement& element);

}  // namespace lumenary::app
