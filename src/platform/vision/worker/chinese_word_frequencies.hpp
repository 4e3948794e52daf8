#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace lumenary::platform::vision {

// How often each Chinese word is written, from a word list of one
// "word count [part of speech]" line per word (as Debian's python3-jieba
// ships it in jieba/dict.txt). Words counted fewer than
// `leastCountedWordUses` times are left out: the list holds many such
// entries that are phrases, names or misprints rather than words, and a
// misreading then looks like a word ("键子" beside "毽子").
class ChineseWordFrequencies {
public:
    static constexpr long leastCountedWordUses = 4;
    // Longer entries are left out: a line is weighed in spans of at most
    // this many characters.
    static constexpr std::size_t longestWord = 8;

    // The frequencies of the list `text`, or why it is not one (a sentence
    // fragment: "it holds no counted word").
    static std::variant<ChineseWordFrequencies, std::string> fromList(std::string text);

    // The natural logarithm of the share of the list's word uses that are
    // uses of `word`; none when the list leaves it out.
    std::optional<float> logShare(std::string_view word) const;
    // That of a word the list counts once: a character the list leaves out
    // is read as such a word.
    double unlistedLogShare() const { return unlistedLogShare_; }

private:
    ChineseWordFrequencies() = default;

    // The words are views into the list, which stays where it is when the
    // frequencies move (a short string would move with them).
    std::shared_ptr<const std::string> list_;
    std::unordered_map<std::string_view, float> logShares_;
    double unlistedLogShare_ = 0;
};

// The word list Lumenary reads: LUMENARY_CHINESE_WORDS when set, else the
// one python3-jieba installs.
std::filesystem::path chineseWordListPath();

// The frequencies of chineseWordListPath(), read on first use; none when
// the list cannot be read, which the first such call writes one line on
// standard error about. Not for two threads at once.
const ChineseWordFrequencies* chineseWordFrequencies();

}  // namespace lumenary::platform::vision
