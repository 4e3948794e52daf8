#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace lumenary::app {

// The port a committed port field's text (UTF-8) asks for. Characters that
// are not numbers are dropped first ("80a80" asks for 8080); what is left
// must be ASCII digits naming a port from 1 to 65535, leading zeros
// allowed. Anything else, an empty or zero text included, asks for nothing:
// the caller writes no port and shows the current one again.
std::optional<std::uint16_t> portFromText(std::string_view text);

}  // namespace lumenary::app
