#include "vision_text_scores.hpp"

#include <cctype>

#include "platform/vision/worker/text_photos.hpp"

namespace lumenary::vision_bench {

namespace {

std::string withoutMarks(std::string text) {
    std::erase_if(text, [](char character) { return std::ispunct(static_cast<unsigned char>(character)) != 0; });
    return text;
}

}  // namespace

std::string joined(const std::vector<std::string>& lines, const char* between) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : between) + line;
    }
    return text;
}

std::optional<std::pair<std::size_t, std::size_t>> runOf(const std::vector<std::string>& words, const std::string& value) {
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

}  // namespace lumenary::vision_bench
