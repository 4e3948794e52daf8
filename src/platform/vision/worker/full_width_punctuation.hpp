#pragma once

#include <string>
#include <string_view>

namespace lumenary::platform::vision {

// A line of Chinese or Japanese text as it is printed. The recogniser's
// models for those scripts know only the ASCII forms of , : ; ! ? ( ),
// and put spaces around them that the page does not have. A mark whose
// neighbour (the character before it, for an opening bracket the one after
// it) is a square glyph (Han, kana, or a mark of those scripts) becomes its
// full-width form, and spaces beside a full-width mark go. Marks among
// Latin letters and digits ("8:45", "Python, C") stay as they are, and so
// does every byte that is not well-formed UTF-8.
std::string withFullWidthPunctuation(std::string_view line);

}  // namespace lumenary::platform::vision
