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

// The text with the full-width forms of , : ; ! ? ( ) as their ASCII
// ones: the recognition network reads either form for either, and
// withFullWidthPunctuation then gives each the form its neighbours call
// for ("8:45", "价格是128元，含税").
std::string withAsciiMarks(std::string_view text);

// The text with each full-width digit and Latin letter ("５", "Ａ") as
// its ASCII form. The recognition network, which learnt Chinese pages,
// reads a lone digit in an English field as its full-width form as often
// as not. Full-width marks ("：", "｛") stay: the network reads a line of
// a few marks less surely than the models.
std::string withAsciiForms(std::string_view text);

}  // namespace lumenary::platform::vision
