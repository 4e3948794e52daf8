#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumenary::mcp {

// A new random (version 4) UUID in its canonical upper-case text form.
std::string randomUUID();

// `text` in canonical upper-case form when it is a UUID written as 8-4-4-4-12
// hexadecimal digits in either case; nothing otherwise.
std::optional<std::string> canonicalUUID(std::string_view text);

}  // namespace lumenary::mcp
