#include "platform/vision/worker/likeliest_line_reading.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace lumenary::platform::vision {
namespace {

// A character read at this or more stays as read.
constexpr float sureReadingProbability = 0.97F;
// A character the network saw at less than this is not weighed; 毽 in
// the place of a 键 read at 0.85 was seen at 0.003.
constexpr float consideredProbability = 0.002F;
constexpr std::size_t othersPerPlace = mostAlternatives;
// The word list's log likelihoods count as much as the network's: weighed
// more, common words displace rarer ones the network read well (这封 as
// 这对).
constexpr double wordWeight = 1.0;
// A span of the line with more readings than this is not weighed as one
// word; its characters still are, each alone.
constexpr std::size_t mostReadingsOfAWord = 256;

// The code point of a string of one UTF-8 character; 0 for anything else.
std::uint32_t codePointOf(std::string_view character) {
    if (character.empty()) {
        return 0;
    }
    const auto lead = static_cast<unsigned char>(character[0]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || character.size() != length) {
        return 0;
    }
    std::uint32_t codePoint = length == 1 ? lead : lead & (0x7FU >> length);
    for (std::size_t index = 1; index < length; ++index) {
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(character[index]) & 0x3FU);
    }
    return codePoint;
}

bool isHan(std::string_view character) {
    const std::uint32_t codePoint = codePointOf(character);
    return (codePoint >= 0x3400 && codePoint <= 0x4DBF) || (codePoint >= 0x4E00 && codePoint <= 0x9FFF) ||
           (codePoint >= 0xF900 && codePoint <= 0xFAFF) || (codePoint >= 0x20000 && codePoint <= 0x3134F);
}

// What a place of the line may hold: the network's reading first, then
// the other Han characters it saw there, each with the log of its
// probability (0 for a place the network was sure of).
struct Place {
    std::vector<std::string> characters;
    std::vector<double> logProbabilities;
};

std::vector<Place> placesOf(const NetworkLineText& read, const std::vector<std::string>& characters) {
    std::vector<Place> places;
    for (std::size_t index = 0; index < characters.size(); ++index) {
        Place place{{characters[index]}, {0.0}};
        if (read.probabilities[index] < sureReadingProbability && isHan(characters[index])) {
            place.logProbabilities.front() = std::log(std::max(read.probabilities[index], 1e-6F));
            for (const ReadAlternative& other : read.alternatives[index]) {
                if (place.characters.size() <= othersPerPlace && other.probability >= consideredProbability &&
                    isHan(other.character)) {
                    place.characters.push_back(other.character);
                    place.logProbabilities.push_back(std::log(other.probability));
                }
            }
        }
        places.push_back(std::move(place));
    }
    return places;
}

void replaceFullStopsBetweenHan(const NetworkLineText& read, std::vector<std::string>& characters) {
    for (std::size_t index = 1; index + 1 < characters.size(); ++index) {
        if (characters[index] != "．" || !isHan(characters[index - 1]) || !isHan(characters[index + 1])) {
            continue;
        }
        // The alternatives come most probable first.
        const auto mark = std::find_if(read.alternatives[index].begin(), read.alternatives[index].end(),
                                       [](const ReadAlternative& other) {
                                           return other.character == "，" || other.character == "。";
                                       });
        if (mark != read.alternatives[index].end()) {
            characters[index] = mark->character;
        }
    }
}

// The heaviest way to the end of the line so far at a place: the weight,
// where the last word began and the characters chosen for it.
struct Way {
    double weight = -std::numeric_limits<double>::infinity();
    std::size_t wordBegin = 0;
    std::vector<std::size_t> choices;
};

}  // namespace

std::vector<std::string> likeliestReading(const NetworkLineText& read, const ChineseWordFrequencies& words) {
    std::vector<std::string> characters = read.characters;
    if (read.probabilities.size() != characters.size() || read.alternatives.size() != characters.size()) {
        return characters;
    }
    replaceFullStopsBetweenHan(read, characters);
    const std::vector<Place> places = placesOf(read, characters);
    // ways[end]: the heaviest reading of the first `end` places as words,
    // each word weighed by the network's log probabilities of its
    // characters plus wordWeight times its log share of the word list.
    std::vector<Way> ways(places.size() + 1);
    ways[0].weight = 0;
    std::vector<std::size_t> choices;
    std::string word;
    for (std::size_t begin = 0; begin < places.size(); ++begin) {
        if (!std::isfinite(ways[begin].weight)) {
            continue;
        }
        std::size_t readings = 1;
        for (std::size_t end = begin + 1; end <= std::min(places.size(), begin + ChineseWordFrequencies::longestWord);
             ++end) {
            readings *= places[end - 1].characters.size();
            if (readings > mostReadingsOfAWord) {
                break;
            }
            // Every reading of the span, counted in a mixed radix of its
            // places' choices.
            choices.assign(end - begin, 0);
            while (true) {
                word.clear();
                double weight = ways[begin].weight;
                for (std::size_t place = begin; place < end; ++place) {
                    word += places[place].characters[choices[place - begin]];
                    weight += places[place].logProbabilities[choices[place - begin]];
                }
                const std::optional<float> share = words.logShare(word);
                if (share || end == begin + 1) {
                    weight += wordWeight * (share ? *share : words.unlistedLogShare());
                    if (weight > ways[end].weight) {
                        ways[end] = Way{weight, begin, choices};
                    }
                }
                std::size_t place = 0;
                while (place < choices.size() && ++choices[place] == places[begin + place].characters.size()) {
                    choices[place++] = 0;
                }
                if (place == choices.size()) {
                    break;
                }
            }
        }
    }
    for (std::size_t end = places.size(); end > 0;) {
        const Way& way = ways[end];
        for (std::size_t place = way.wordBegin; place < end; ++place) {
            characters[place] = places[place].characters[way.choices[place - way.wordBegin]];
        }
        end = way.wordBegin;
    }
    return characters;
}

}  // namespace lumenary::platform::vision
