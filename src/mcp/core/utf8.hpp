#pragma once

#include <string_view>

namespace lumenary::mcp {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUTF8(std::string_view bytes);

}  // namespace lumenary::mcp
