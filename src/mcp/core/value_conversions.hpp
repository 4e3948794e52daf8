#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mcp/core/value.hpp"

// Basic types from a Value. Strict conversions take only the matching case
// (and an integer as a double); lenient ones also read numbers and texts.
namespace lumenary::mcp {

// Lenient: integers 0 and 1, doubles 0.0 and 1.0, and the texts "true", "t",
// "yes", "y", "on", "1" / "false", "f", "no", "n", "off", "0" (case counts).
std::optional<bool> boolFrom(const Value& value, bool strict);

// Lenient: whole doubles within 64 bits, and base-10 text with an optional sign.
std::optional<std::int64_t> integerFrom(const Value& value, bool strict);

// Lenient: text that is a C-locale floating-point number as a whole.
std::optional<double> doubleFrom(const Value& value, bool strict);

// Lenient: booleans, integers and doubles in their text form.
std::optional<std::string> stringFrom(const Value& value, bool strict);

}  // namespace lumenary::mcp
