#pragma once

#include "system/utf8.hpp"

// The UTF-8 checks live in the lowest library, which reads platform strings
// with them; the protocol core uses them under its own namespace.
namespace lumenary::mcp {

using system::isValidUTF8;
using system::repairedUTF8;

}  // namespace lumenary::mcp
