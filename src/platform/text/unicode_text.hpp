#pragma once

#include <string>
#include <string_view>

namespace lumenary::platform {

// Full Unicode lower-casing that does not depend on the locale, so a search
// answers the same under every LANG. Takes and gives UTF-8; bytes that are
// not UTF-8 are repaired first.
std::string lowercased(std::string_view text);

// Substring and equality tests on the lower-cased forms of both texts.
bool containsIgnoringCase(std::string_view text, std::string_view needle);
bool equalsIgnoringCase(std::string_view left, std::string_view right);

}  // namespace lumenary::platform
