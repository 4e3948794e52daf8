#pragma once

#include <string>
#include <string_view>

namespace lumenary::mcp {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUTF8(std::string_view bytes);

// Appends `bytes` to `text` as well-formed UTF-8: each maximal ill-formed
// subsequence becomes one U+FFFD, the way browsers decode, so text from an
// untrusted peer never fails to decode.
void appendRepairedUTF8(std::string& text, std::string_view bytes);

// `bytes` repaired as appendRepairedUTF8 does.
std::string repairedUTF8(std::string_view bytes);

}  // namespace lumenary::mcp
