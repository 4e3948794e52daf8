#pragma once

#include <string>
#include <string_view>

namespace lumenary::system {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUTF8(std::string_view bytes);

// The text with each maximal ill-formed subpart replaced by one U+FFFD, so
// that bytes read from a file, database or bus can enter a JSON result.
std::string repairUTF8(std::string_view bytes);

}  // namespace lumenary::system
