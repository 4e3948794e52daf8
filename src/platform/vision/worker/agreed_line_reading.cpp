#include "platform/vision/worker/agreed_line_reading.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <utility>
#include <string>
#include <vector>

namespace lumenary::platform::vision {
namespace {

constexpr float unseenProbability = leastAlternativeProbability / 2;
// A character only the first reading holds stays at this probability.
constexpr float keptAloneProbability = 0.9F;
// Readings that differ at more than one place, and at more than one in
// this many, do not read the same glyphs (a line of Latin letters each
// read one place apart): the first is kept.
constexpr std::size_t mostUnlikePlacesPer = 4;

bool wholeReading(const NetworkLineText& read) {
    return read.probabilities.size() == read.characters.size() && read.alternatives.size() == read.characters.size();
}

// The probability `read` gives `character` at `index`.
float probabilityOf(const NetworkLineText& read, std::size_t index, const std::string& character) {
    if (read.characters[index] == character) {
        return read.probabilities[index];
    }
    for (const ReadAlternative& other : read.alternatives[index]) {
        if (other.character == character) {
            return other.probability;
        }
    }
    return unseenProbability;
}

// Whether the two readings' places may hold one character: each read
// one the other saw.
bool compatible(const NetworkLineText& first, std::size_t index, const NetworkLineText& second,
                std::size_t partner) {
    return probabilityOf(second, partner, first.characters[index]) > unseenProbability ||
           probabilityOf(first, index, second.characters[partner]) > unseenProbability;
}

// The place of the second reading each place of the first lines up with,
// if any: the alignment with fewest places unlike or left alone.
std::vector<std::optional<std::size_t>> alignedPlaces(const NetworkLineText& first, const NetworkLineText& second) {
    const std::size_t rows = first.characters.size() + 1;
    const std::size_t columns = second.characters.size() + 1;
    // cost[i * columns + j]: the cheapest alignment of the first i places
    // of the first reading with the first j of the second.
    std::vector<std::size_t> cost(rows * columns, 0);
    for (std::size_t i = 0; i < rows; ++i) {
        for (std::size_t j = 0; j < columns; ++j) {
            if (i == 0 || j == 0) {
                cost[i * columns + j] = i + j;
                continue;
            }
            const std::size_t paired =
                cost[(i - 1) * columns + j - 1] + (compatible(first, i - 1, second, j - 1) ? 0 : 1);
            cost[i * columns + j] =
                std::min({paired, cost[(i - 1) * columns + j] + 1, cost[i * columns + j - 1] + 1});
        }
    }
    std::vector<std::optional<std::size_t>> partners(first.characters.size());
    std::size_t i = rows - 1;
    std::size_t j = columns - 1;
    while (i > 0 && j > 0) {
        const std::size_t here = cost[i * columns + j];
        if (here == cost[(i - 1) * columns + j - 1] + (compatible(first, i - 1, second, j - 1) ? 0 : 1)) {
            partners[i - 1] = j - 1;
            --i;
            --j;
        } else if (here == cost[(i - 1) * columns + j] + 1) {
            --i;
        } else {
            --j;
        }
    }
    return partners;
}

// The characters either reading saw at a pair of places, each with the
// geometric mean of its two probabilities, the likeliest first.
std::vector<ReadAlternative> agreedCharacters(const NetworkLineText& first, std::size_t index,
                                              const NetworkLineText& second, std::size_t partner) {
    std::vector<ReadAlternative> seen;
    const auto add = [&](const std::string& character) {
        if (std::none_of(seen.begin(), seen.end(),
                         [&](const ReadAlternative& other) { return other.character == character; })) {
            seen.push_back({character, std::sqrt(probabilityOf(first, index, character) *
                                                 probabilityOf(second, partner, character))});
        }
    };
    for (const auto& [read, place] : {std::pair(&first, index), std::pair(&second, partner)}) {
        add(read->characters[place]);
        for (const ReadAlternative& other : read->alternatives[place]) {
            add(other.character);
        }
    }
    std::sort(seen.begin(), seen.end(), [](const ReadAlternative& one, const ReadAlternative& other) {
        return one.probability > other.probability;
    });
    return seen;
}

}  // namespace

bool readSurely(const NetworkLineText& read) {
    return std::all_of(read.probabilities.begin(), read.probabilities.end(),
                       [](float probability) { return probability >= sureReadingProbability; });
}

NetworkLineText agreedReading(const NetworkLineText& first, const NetworkLineText& second) {
    if (!wholeReading(first) || !wholeReading(second) || first.steps.size() != first.characters.size() ||
        first.spaceBefore.size() != first.characters.size()) {
        return first;
    }
    const std::vector<std::optional<std::size_t>> partners = alignedPlaces(first, second);
    std::size_t unlike = 0;
    for (std::size_t index = 0; index < partners.size(); ++index) {
        unlike += !partners[index] || !compatible(first, index, second, *partners[index]) ? 1 : 0;
    }
    if (unlike > 1 && unlike * mostUnlikePlacesPer > partners.size()) {
        return first;
    }
    NetworkLineText agreed;
    double sum = 0;
    float spaceBefore = 0;
    for (std::size_t index = 0; index < first.characters.size(); ++index) {
        spaceBefore = std::max(spaceBefore, first.spaceBefore[index]);
        if (!partners[index]) {
            // A character the second reading saw no glyph for stays only
            // when the first was sure of it.
            if (first.probabilities[index] < keptAloneProbability) {
                continue;
            }
            agreed.characters.push_back(first.characters[index]);
            agreed.probabilities.push_back(first.probabilities[index]);
            agreed.alternatives.push_back(first.alternatives[index]);
        } else {
            std::vector<ReadAlternative> seen = agreedCharacters(first, index, second, *partners[index]);
            agreed.characters.push_back(seen.front().character);
            agreed.probabilities.push_back(seen.front().probability);
            seen.erase(seen.begin());
            std::erase_if(seen, [](const ReadAlternative& other) {
                return other.probability < leastAlternativeProbability;
            });
            seen.resize(std::min(seen.size(), mostAlternatives));
            agreed.alternatives.push_back(std::move(seen));
        }
        agreed.steps.push_back(first.steps[index]);
        agreed.spaceBefore.push_back(spaceBefore);
        spaceBefore = 0;
        agreed.text += agreed.characters.back();
        sum += agreed.probabilities.back();
    }
    if (!agreed.characters.empty()) {
        agreed.confidence = static_cast<float>(sum / static_cast<double>(agreed.characters.size()));
    }
    return agreed;
}

}  // namespace lumenary::platform::vision
