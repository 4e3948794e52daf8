#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumenary::mcp {

// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks).
std::string base64Encode(std::string_view bytes);

// Absent for any character outside the alphabet (whitespace included) or a
// malformed padding; a payload without its trailing "=" is accepted.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace lumenary::mcp
