#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// How the vision benchmark scores what text recognition read against what
// a labelled image holds.
namespace lumenary::vision_bench {

// `lines` joined with `between`.
std::string joined(const std::vector<std::string>& lines, const char* between);

// Where `words` hold `value` as a run of whole words, however the read
// spaced them ("X:0" for "X: 0") and whatever marks it added or left out:
// the run's first and end word.
std::optional<std::pair<std::size_t, std::size_t>> runOf(const std::vector<std::string>& words, const std::string& value);

// The read words that repeat the word before them in their line (a
// reading that stutters over a word), less as many of each as the label's
// own lines repeat so; words compared as vision_test::wordsOf gives them.
long doubledWords(const std::vector<std::string>& labelled, const std::vector<std::string>& read);

}  // namespace lumenary::vision_bench
