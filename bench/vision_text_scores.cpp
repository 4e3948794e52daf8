#include "vision_text_scores.hpp"

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/vision/worker/text_photos.hpp"

namespace lumenary::vision_bench {

namespace {

std::string withoutMarks(std::string text) {
    std::erase_if(text, [](char character) { return std::ispunct(static_cast<unsigned char>(character)) != 0; });
    return text;
}

// How often each word follows itself in `lines`, line by line.
std::map<std::string, long> repeatsIn(const std::vector<std::string>& lines) {
    std::map<std::string, long> repeats;
    for (const std::string& line : lines) {
        const auto words = vision_test::wordsOf(line);
        for (std::size_t at = 1; at < words.size(); ++at) {
            if (words[at] == words[at - 1]) {
                ++repeats[words[at]];
            }
        }
    }
    return repeats;
}

}  // namespace

std::string joined(const std::vector<std::string>& lines, const char* between) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : between) + line;
    }
    return text;
}

std::optional<std::pair<std::size_t, std::size_t>> runOf(const std::vector<std::string>& words,
                                                         const std::string& value) {
    std::string wanted;
    for (const std::string& word : vision_test::wordsOf(value)) {
        wanted += withoutMarks(word);
    }
    for (std::size_t first = 0; first < words.size(); ++first) {
        std::string run;
        for (std::size_t end = first; end < words.size() && run.size() < wanted.size(); ++end) {
            run += withoutMarks(words[end]);
            if (run == wanted) {
                return std::pair(first, end + 1);
            }
        }
    }
    return std::nullopt;
}

long doubledWords(const std::vector<std::string>& labelled, const std::vector<std::string>& read) {
    auto allowed = repeatsIn(labelled);
    long doubled = 0;
    for (const auto& [word, times] : repeatsIn(read)) {
        doubled += std::max(0L, times - allowed[word]);
    }
    return doubled;
}

}  // namespace lumenary::vision_bench
