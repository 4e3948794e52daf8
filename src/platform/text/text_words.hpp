#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumenary::platform {

// `text` without the Unicode white space (line breaks included) at either
// end.
std::string_view trimmedWhiteSpace(std::string_view text);

// The lower-cased words of `text`: runs of letters, marks and digits. An
// ideograph is a word by itself, since those scripts put no space between
// words. "Anne-Marie O'Neil" has the words anne, marie, o and neil.
std::vector<std::string> lowercasedWords(std::string_view text);

// Whether `sequence`, which must not be empty, stands in `words` as whole
// consecutive words: "ana lee" in "call ana lee now", never "li" in "alice".
// Linear in the words of both.
bool containsWordSequence(const std::vector<std::string>& words, const std::vector<std::string>& sequence);

}  // namespace lumenary::platform
