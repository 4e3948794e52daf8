#include "platform/vision/worker/chinese_word_frequencies.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

#include "platform/files/bounded_file_reader.hpp"

namespace lumenary::platform::vision {
namespace {

constexpr const char* wordListVariable = "LUMENARY_CHINESE_WORDS";
constexpr const char* installedWordList = "/usr/lib/python3/dist-packages/jieba/dict.txt";
// The installed list is 5 MB.
constexpr std::uintmax_t largestWordList = 64 * 1024 * 1024;

// The length in bytes of the UTF-8 character `text` starts with, at least 1.
std::size_t characterLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text.front());
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return std::min(length, text.size());
}

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    while (!text.empty()) {
        text.remove_prefix(characterLength(text));
        ++count;
    }
    return count;
}

}  // namespace

std::variant<ChineseWordFrequencies, std::string> ChineseWordFrequencies::fromList(std::string text) {
    ChineseWordFrequencies frequencies;
    frequencies.list_ = std::make_shared<const std::string>(std::move(text));
    const std::string_view list = *frequencies.list_;
    std::vector<std::pair<std::string_view, long>> counted;
    double total = 0;
    std::size_t start = 0;
    while (start < list.size()) {
        const std::size_t end = std::min(list.find('\n', start), list.size());
        const std::string_view line = list.substr(start, end - start);
        start = end + 1;
        const std::size_t wordEnd = line.find(' ');
        if (wordEnd == 0 || wordEnd == std::string_view::npos) {
            continue;
        }
        const std::string_view countText = line.substr(wordEnd + 1);
        long count = 0;
        const auto [next, error] = std::from_chars(countText.data(), countText.data() + countText.size(), count);
        if (error != std::errc() || (next != countText.data() + countText.size() && *next != ' ' && *next != '\r') ||
            count <= 0) {
            continue;
        }
        total += static_cast<double>(count);
        const std::string_view word = line.substr(0, wordEnd);
        if (count >= leastCountedWordUses && characterCount(word) <= longestWord) {
            counted.emplace_back(word, count);
        }
    }
    if (counted.empty()) {
        return std::string("it holds no counted word");
    }
    frequencies.logShares_.reserve(counted.size());
    const double logTotal = std::log(total);
    for (const auto& [word, count] : counted) {
        // A word listed twice keeps its larger count.
        float& share = frequencies.logShares_.try_emplace(word, -std::numeric_limits<float>::infinity()).first->second;
        share = std::max(share, static_cast<float>(std::log(static_cast<double>(count)) - logTotal));
    }
    frequencies.unlistedLogShare_ = -logTotal;
    return frequencies;
}

std::optional<float> ChineseWordFrequencies::logShare(std::string_view word) const {
    const auto listed = logShares_.find(word);
    if (listed == logShares_.end()) {
        return std::nullopt;
    }
    return listed->second;
}

std::filesystem::path chineseWordListPath() {
    if (const char* path = std::getenv(wordListVariable); path != nullptr && *path != '\0') {
        return path;
    }
    return installedWordList;
}

const ChineseWordFrequencies* chineseWordFrequencies() {
    struct Loaded {
        std::filesystem::path path;
        std::optional<ChineseWordFrequencies> frequencies;
    };
    static std::optional<Loaded> loaded;
    const std::filesystem::path path = chineseWordListPath();
    if (loaded && loaded->path == path) {
        return loaded->frequencies ? &*loaded->frequencies : nullptr;
    }
    loaded = Loaded{path, std::nullopt};
    auto bytes = readBoundedBytes(path, largestWordList);
    std::string reason = "it cannot be read";
    if (auto* text = std::get_if<std::string>(&bytes)) {
        auto frequencies = ChineseWordFrequencies::fromList(std::move(*text));
        if (auto* read = std::get_if<ChineseWordFrequencies>(&frequencies)) {
            loaded->frequencies = std::move(*read);
            return &*loaded->frequencies;
        }
        reason = std::get<std::string>(frequencies);
    }
    std::cerr << "lumenary-vision: Chinese lines are read without the word list " << path.string() << ": " << reason
              << "; run scripts/setup to install it\n";
    return nullptr;
}

}  // namespace lumenary::platform::vision
