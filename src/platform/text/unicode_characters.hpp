#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumenary::platform {

// The text's user-perceived characters (extended grapheme clusters: a
// letter with its combining marks, a flag, a keycap) in order, each as
// UTF-8. Bytes that are not UTF-8 are repaired first.
std::vector<std::string> userPerceivedCharacters(std::string_view text);

// Whether a character stands for a number: its first code point has a
// Unicode numeric type, which takes in the digits of every script,
// fractions, Roman numerals and numeral ideographs, not only 0 to 9.
bool isNumberCharacter(std::string_view character);

}  // namespace lumenary::platform
