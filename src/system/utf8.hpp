#pragma once

#include <string>
#include <string_view>

namespace lumenary::system {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUTF8(std::string_view bytes);

// The bytes as UTF-8 with each ill-formed sequence (its maximal subpart, as
// Unicode recommends) replaced by one U+FFFD; well-formed input comes back
// unchanged.
std::string repairedUTF8(std::string_view bytes);

}  // namespace lumenary::system
