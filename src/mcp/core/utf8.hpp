#pragma once

#include "system/utf8.hpp"

// The UTF-8 checks live in the lowest library, which reads platform strings
// with them; the protocol core and everything above use them under its name.
namespace lumenary::mcp {

using system::isValidUTF8;
using system::repairUTF8;

}  // namespace lumenary::mcp
