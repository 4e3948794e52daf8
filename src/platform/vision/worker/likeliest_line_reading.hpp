#pragma once

#include <string>
#include <vector>

#include "platform/vision/worker/chinese_word_frequencies.hpp"
#include "platform/vision/worker/text_line_decoding.hpp"

namespace lumenary::platform::vision {

// The characters of a line the recognition network read, changed where it
// was unsure and the words around make another character it saw likelier
// (便用 for 使用, 冠车 for 冠军, 键子 for 毽子: glyphs a stroke apart):
// - each place where it read a Han character at under 0.97 may hold any
//   other Han character it saw there at 0.002 or more; of all the ways to
//   read the line so, and to split it into words, the one kept is the
//   heaviest, each word weighing the network's log probabilities of its
//   characters plus the log of its share of the word list's uses (a
//   character the list leaves out counting as a word used once; a word of
//   places with more than 256 readings between them is not weighed);
// - a full-width full stop (．) between two Han characters, which Chinese
//   does not write there but the network reads for a serif face's comma,
//   becomes the likelier of the comma and the ideographic full stop (，。)
//   when the network saw either.
// Any other character stays as read, and so does a reading whose parts do
// not line up (as many probabilities and alternatives as characters).
std::vector<std::string> likeliestReading(const NetworkLineText& read, const ChineseWordFrequencies& words);

}  // namespace lumenary::platform::vision
