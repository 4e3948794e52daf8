#include "platform/vision/worker/merged_line_readings.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <map>
#include <numeric>
#include <optional>
#include <string_view>
#include <utility>

namespace lumenary::platform::vision {
namespace {

// Below this a word is as likely made up from a widget's edge or an icon
// as read: the recogniser gives real words on screens and pages 0.8 and
// more, and fragments of drawings 0.3 to 0.6.
constexpr float leastSureWord = 0.6F;
constexpr float leastSureNumber = 0.45F;
// What knowing a word, and a frame's mark glued to one, count for against
// a word's confidence.
constexpr float dictionaryWordWorth = 0.1F;
constexpr float gluedMarkCost = 0.3F;
// How much surer one reading must be to be taken over the other, and a
// reading of a word over a lookalike ("xargs" over "Xargs", not "O" over
// "0").
constexpr float clearlySurer = 0.1F;
// A word alone weighs less than a whole place's words: a word read from
// an accent the models do not know ("Ualerte" for "l'alerte") can be
// surer by a tenth.
constexpr float clearlySurerWord = 0.15F;
constexpr float farSurer = 0.25F;
// A mark the recogniser is this sure of, no taller than the line's glyphs,
// is the line's own (a table's bar, "| Name | Size |"), where a frame's
// side it reads as a mark stands taller than the text and less surely.
constexpr float sureMark = 0.85F;
constexpr float markHeight = 1.5F;
// The most pairs of words two readings' lines are aligned over.
constexpr std::size_t mostWordPairs = 200'000;
// The fewest words of a line of prose.
constexpr std::size_t proseWords = 5;
// How much taller one word may stand than another of its line.
constexpr float textSizes = 3.0F;

bool isGlyph(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    return value >= 0x80 || std::isalnum(value) != 0;
}

bool holdsGlyph(std::string_view text) {
    return std::any_of(text.begin(), text.end(), isGlyph);
}

bool holdsDigit(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char glyph) { return std::isdigit(static_cast<unsigned char>(glyph)) != 0; });
}

// Characters, counting a multi-byte one once.
long characters(std::string_view text) {
    return std::count_if(text.begin(), text.end(),
                         [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; });
}

// A word with a frame's mark at its end that the word does not close or
// open itself ("technica]", "|cat", but not "a[i]" or "{x}").
bool markGluedToEnd(std::string_view word) {
    if (!holdsGlyph(word)) {
        return false;
    }
    const auto unmatched = [&](char mark) {
        switch (mark) {
            case '|': return true;
            case '[':
            case ']': return std::count(word.begin(), word.end(), '[') != std::count(word.begin(), word.end(), ']');
            case '{':
            case '}': return std::count(word.begin(), word.end(), '{') != std::count(word.begin(), word.end(), '}');
            default: return false;
        }
    };
    return unmatched(word.front()) || unmatched(word.back());
}

float worth(const ReadWord& word) {
    float value = word.confidence;
    if (word.dictionary && characters(word.text) >= 3) {
        value += dictionaryWordWorth;
    }
    if (markGluedToEnd(word.text)) {
        value -= gluedMarkCost;
    }
    return value;
}

// The mean of `value` over a reading's words, each weighed by its length.
template <typename Value>
float weighedByLength(const std::vector<ReadWord>& words, Value value) {
    double weighed = 0;
    double length = 0;
    for (const ReadWord& word : words) {
        const auto glyphs = static_cast<double>(std::max(1L, characters(word.text)));
        weighed += glyphs * value(word);
        length += glyphs;
    }
    return length == 0 ? 0.0F : static_cast<float>(weighed / length);
}

// What a reading's words are worth to choose between readings by: a known
// word counts above 1, so this is never a line's confidence.
float sureness(const std::vector<ReadWord>& words) {
    return weighedByLength(words, worth);
}

// A line made of `words`: the recogniser's own confidence, 0 to 1.
float confidenceOf(const std::vector<ReadWord>& words) {
    return weighedByLength(words, [](const ReadWord& word) { return word.confidence; });
}

bool shareRows(const cv::Rect2f& first, const cv::Rect2f& second) {
    const float shared = std::min(first.br().y, second.br().y) - std::max(first.y, second.y);
    return shared > 0 && 2 * shared >= std::min(first.height, second.height);
}

bool overlap(const cv::Rect2f& first, const cv::Rect2f& second) {
    return shareRows(first, second) && std::min(first.br().x, second.br().x) > std::max(first.x, second.x);
}

std::vector<std::string_view> spaceParted(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        if (end > start) {
            words.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return words;
}

// The line's words: the recogniser's, else its text's words laid along
// its box by their share of its characters.
std::vector<ReadWord> wordsOf(const ReadLine& line) {
    if (!line.words.empty()) {
        return line.words;
    }
    const auto total = static_cast<float>(std::max(1L, characters(line.text)));
    std::vector<ReadWord> words;
    for (const std::string_view word : spaceParted(line.text)) {
        const auto before = static_cast<float>(characters(
            std::string_view(line.text).substr(0, static_cast<std::size_t>(word.data() - line.text.data()))));
        const cv::Rect2f box(line.box.x + line.box.width * before / total, line.box.y,
                             line.box.width * static_cast<float>(characters(word)) / total, line.box.height);
        words.push_back({std::string(word), line.confidence, box, false});
    }
    return words;
}

std::vector<ReadWord> wordsOfAll(const std::vector<ReadLine>& lines) {
    std::vector<ReadWord> all;
    for (const ReadLine& line : lines) {
        const std::vector<ReadWord> words = wordsOf(line);
        all.insert(all.end(), words.begin(), words.end());
    }
    return all;
}

std::string joinedWords(const std::vector<ReadWord>& words) {
    std::string text;
    for (const ReadWord& word : words) {
        text += (text.empty() ? "" : " ") + word.text;
    }
    return text;
}

// A word worth keeping where no other reading has one: it holds a glyph
// and the recogniser is sure of it.
bool sureWord(const ReadWord& word) {
    return holdsGlyph(word.text) && word.confidence >= leastSureWord;
}

bool digitsOnly(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char glyph) {
        return std::isdigit(static_cast<unsigned char>(glyph)) != 0;
    });
}

// Digits, parted by ":", "." or "," ("00:45", "12.5"), and marks after
// them ("1.").
bool isNumber(std::string_view text) {
    while (!text.empty() && std::ispunct(static_cast<unsigned char>(text.back())) != 0) {
        text.remove_suffix(1);
    }
    return !text.empty() && std::isdigit(static_cast<unsigned char>(text.front())) != 0 &&
           std::all_of(text.begin(), text.end(), [](char glyph) {
               return std::isdigit(static_cast<unsigned char>(glyph)) != 0 || glyph == ':' || glyph == '.' ||
                      glyph == ',';
           });
}

// A lone number beside a place's kept words (a spin box's "1.", a
// ruler's "00:45", "12.5"), which the recogniser is less sure of than of
// words: its models lean on words.
bool sureNumber(const ReadWord& word) {
    return isNumber(word.text) && word.confidence >= leastSureNumber;
}

// The box holding every one of `words` (at least one).
cv::Rect2f boxOf(const std::vector<ReadWord>& words) {
    cv::Rect2f box = words.front().box;
    for (const ReadWord& word : words) {
        box |= word.box;
    }
    return box;
}

// A line only one reading found, without the frame's marks at its ends;
// none when what is left is marks alone or words the recogniser is unsure
// of (an icon, a widget's edge read as text).
std::optional<ReadLine> trusted(ReadLine line) {
    std::vector<ReadWord> words = wordsOf(line);
    const std::size_t read = words.size();
    const auto markOnly = [](const ReadWord& word) { return !holdsGlyph(word.text); };
    while (!words.empty() && markOnly(words.front())) {
        words.erase(words.begin());
    }
    while (!words.empty() && markOnly(words.back())) {
        words.pop_back();
    }
    if (std::none_of(words.begin(), words.end(), sureWord) || sureness(words) < leastSureWord) {
        return std::nullopt;
    }
    if (words.size() != read) {
        line.text = joinedWords(words);
        line.words = words;
        line.box = boxOf(words);
    }
    return line;
}

// Whether a line of `height` and one of `otherHeight` hold text of one
// size: a callout's large digit drawn over a screen stands over the labels
// beside it without being their line. Lines, not words, are weighed: a
// word of low letters ("an") has a box a third of a detected line's,
// whose words are as tall as the line's box.
bool ofOneLineSize(float height, float otherHeight) {
    return height <= textSizes * otherHeight && otherHeight <= textSizes * height;
}

// Whether a kept line has a word where `word`, of a line `lineHeight`
// high, lies: within half the line's height of one of its words, in a
// line of the same size, which bridges the space between two words but
// not the gap between a label and its field.
bool covered(const ReadWord& word, float lineHeight, const std::vector<ReadLine>& kept) {
    const float middle = word.box.x + word.box.width / 2;
    return std::any_of(kept.begin(), kept.end(), [&](const ReadLine& line) {
        if (!shareRows(word.box, line.box) || (holdsGlyph(word.text) && !ofOneLineSize(line.box.height, lineHeight))) {
            return false;
        }
        const float room = line.box.height / 2;
        const std::vector<ReadWord> words = wordsOf(line);
        return std::any_of(words.begin(), words.end(), [&](const ReadWord& own) {
            return middle >= own.box.x - room && middle <= own.box.br().x + room;
        });
    });
}

// Whether two words of two readings stand for one: in shared rows, each
// over half of the narrower's width.
bool sameWordPlace(const ReadWord& first, const ReadWord& second) {
    const float shared = std::min(first.box.br().x, second.box.br().x) - std::max(first.box.x, second.box.x);
    return shareRows(first.box, second.box) && 2 * shared >= std::min(first.box.width, second.box.width);
}

// The words of `other` that stand where `word` stands.
std::vector<const ReadWord*> facingWords(const ReadWord& word, const std::vector<ReadWord>& other) {
    std::vector<const ReadWord*> facing;
    for (const ReadWord& candidate : other) {
        if (sameWordPlace(candidate, word)) {
            facing.push_back(&candidate);
        }
    }
    return facing;
}

// The glyph a recogniser reads for one of its lookalikes, the same for
// all of them.
char lookalikeClass(char glyph) {
    switch (std::tolower(static_cast<unsigned char>(glyph))) {
        case 'o':
        case '0':
        case 'd': return '0';
        case 'l':
        case 'i':
        case '1':
        case '|':
        case '!': return '1';
        case 's':
        case '5': return '5';
        case 'b':
        case '8': return '8';
        case 'z':
        case '2': return '2';
        case ',':
        case '.':
        case ';':
        case ':': return '.';
        default: return static_cast<char>(std::tolower(static_cast<unsigned char>(glyph)));
    }
}

// Whether two readings of a word differ only in glyphs that look alike
// ("0" and "O", "line" and "Line", "exit." and "exit,"): the confidences
// cannot choose between such, and the detected line's reading of them is
// the one tuned to be right.
bool lookAlike(std::string_view first, std::string_view second) {
    return first.size() == second.size() &&
           std::equal(first.begin(), first.end(), second.begin(),
                      [](char one, char other) { return lookalikeClass(one) == lookalikeClass(other); });
}

// Whether `other`, read where `own` stands, is the better reading of it:
// a glyph the other reading saw where this one read a mark ("=" for a
// field's "0"), a word without the frame's mark glued to this one's end
// ("technical" for "technica]"), or a word clearly surer.
bool betterWord(const ReadWord& other, const ReadWord& own) {
    // A field's lone digit is read less surely than words; where this
    // reading has only a mark it is unsure of, the digit is still the
    // better reading ("0" for a field's edge read as "=").
    const bool numberForMark = sureNumber(other) && !holdsGlyph(own.text) && own.confidence < sureMark;
    if (other.text == own.text) {
        return false;
    }
    // A number whose digits this reading took partly for letters
    // ("3ab159.60" for "346159.60"), where it is surer of the number or
    // unsure of its own.
    if (isNumber(other.text) &&
        ((sureNumber(other) && worth(other) >= worth(own)) || own.confidence < leastSureNumber) &&
        !isNumber(own.text) && !own.dictionary && holdsDigit(own.text) &&
        characters(own.text) == characters(other.text)) {
        return true;
    }
    if (!(sureWord(other) || numberForMark)) {
        return false;
    }
    // The other reading missed some of a number's glyphs, a separator
    // and a digit beside it small and close together ("000" for "0,000"):
    // what is left of it is no better reading.
    if (isNumber(own.text) && other.text.size() < own.text.size()) {
        std::size_t at = 0;
        for (const char glyph : own.text) {
            at += at < other.text.size() && other.text[at] == glyph ? 1 : 0;
        }
        if (at == other.text.size()) {
            return false;
        }
    }
    // A field's number is read again as letters from its box's edges
    // ("oF" for "0") more often than the other way round.
    if (lookAlike(other.text, own.text) || digitsOnly(own.text)) {
        return worth(other) >= worth(own) + farSurer;
    }
    // A lone glyph read as a digit by the other, and more surely ("2"
    // for "N" in a row of numbers).
    if (holdsGlyph(own.text) && characters(own.text) == 1 && digitsOnly(other.text) && characters(other.text) == 1) {
        return worth(other) > worth(own);
    }
    // A widget beside a word (a radio button's ring) is read as a glyph
    // glued to it ("ONo"); the word alone is the better reading.
    if (holdsGlyph(own.text) && other.text.find(own.text) != std::string::npos) {
        return false;
    }
    return !holdsGlyph(own.text) || (markGluedToEnd(own.text) && !markGluedToEnd(other.text)) ||
           worth(other) >= worth(own) + clearlySurerWord;
}

// `words` with each run of pieces standing for one word the other reading
// read whole and knows ("WI herever" for "Wherever"): pieces that face
// that word alone, none of them a word of three glyphs or more the
// recogniser knows, together its glyphs but for one.
bool withWholeKnownWords(std::vector<ReadWord>& words, const std::vector<ReadWord>& other) {
    bool changed = false;
    for (const ReadWord& whole : other) {
        if (!whole.dictionary || !sureWord(whole) || characters(whole.text) < 4) {
            continue;
        }
        std::vector<std::size_t> pieces;
        for (std::size_t index = 0; index < words.size(); ++index) {
            if (sameWordPlace(whole, words[index])) {
                pieces.push_back(index);
            }
        }
        if (pieces.size() < 2 || pieces.back() - pieces.front() + 1 != pieces.size()) {
            continue;
        }
        long glyphs = 0;
        bool known = false;
        bool facesAnother = false;
        for (const std::size_t index : pieces) {
            glyphs += characters(words[index].text);
            // Two letters make a known word by chance ("WI").
            known = known || (words[index].dictionary && characters(words[index].text) >= 3);
            facesAnother = facesAnother || facingWords(words[index], other).size() > 1;
        }
        if (known || facesAnother || std::abs(glyphs - characters(whole.text)) > 1) {
            continue;
        }
        cv::Rect2f box = words[pieces.front()].box;
        for (const std::size_t index : pieces) {
            box |= words[index].box;
        }
        words[pieces.front()] = {whole.text, whole.confidence, box, true};
        words.erase(words.begin() + static_cast<std::ptrdiff_t>(pieces.front() + 1),
                    words.begin() + static_cast<std::ptrdiff_t>(pieces.back() + 1));
        changed = true;
    }
    return changed;
}

// `words` with each label glued to its field's number ("X:0") parted
// where the other reading read the two apart ("x:" and "0"): the same
// glyphs, as `words` read them, with the other reading's space.
bool withLabelsApartFromValues(std::vector<ReadWord>& words, const std::vector<ReadWord>& other) {
    bool changed = false;
    for (std::size_t index = 0; index < words.size(); ++index) {
        std::vector<const ReadWord*> facing = facingWords(words[index], other);
        if (facing.size() != 2) {
            continue;
        }
        std::sort(facing.begin(), facing.end(),
                  [](const ReadWord* first, const ReadWord* second) { return first->box.x < second->box.x; });
        const ReadWord& label = *facing[0];
        const ReadWord& value = *facing[1];
        if (label.text.size() < 2 || label.text.back() != ':' || !isNumber(value.text) ||
            !lookAlike(label.text + value.text, words[index].text)) {
            continue;
        }
        const ReadWord own = words[index];
        words[index] = {own.text.substr(0, label.text.size()), own.confidence, label.box, false};
        words.insert(words.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                     {own.text.substr(label.text.size()), own.confidence, value.box, false});
        ++index;
        changed = true;
    }
    return changed;
}

// A word's letters and digits, in lower case.
std::string bareWord(std::string_view text) {
    std::string bare;
    for (const char byte : text) {
        if (isGlyph(byte)) {
            bare += static_cast<char>(std::tolower(static_cast<unsigned char>(byte)));
        }
    }
    return bare;
}

std::size_t editDistance(std::string_view first, std::string_view second) {
    std::vector<std::size_t> row(second.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (std::size_t i = 1; i <= first.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= second.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (first[i - 1] == second[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[second.size()];
}

// Whether two readings' words are one word of the image, however one of
// them misread it: the same glyphs but for marks and case, lookalikes, or
// a glyph in three read otherwise.
bool oneWordRead(std::string_view first, std::string_view second, std::string_view firstBare,
                 std::string_view secondBare) {
    if (firstBare.empty() || secondBare.empty()) {
        return first == second || lookAlike(first, second);
    }
    if (firstBare == secondBare || lookAlike(first, second)) {
        return true;
    }
    const std::size_t longer = std::max(firstBare.size(), secondBare.size());
    const std::size_t apart = longer - std::min(firstBare.size(), secondBare.size());
    return 3 * apart <= longer && 3 * editDistance(firstBare, secondBare) <= longer;
}

// For each of `words`, the index of the word of `sequence` it is a reading
// of, where the two readings hold it in the same order: the longest run
// of such pairs, so that a word read twice in a line is paired once.
std::vector<std::optional<std::size_t>> alignedTo(const std::vector<ReadWord>& words,
                                                  const std::vector<ReadWord>& sequence) {
    std::vector<std::optional<std::size_t>> aligned(words.size());
    // A page turned far enough has every line's box over every other's:
    // past this many pairs the boxes alone place the words.
    if (words.size() * sequence.size() > mostWordPairs) {
        return aligned;
    }
    std::vector<std::string> bare;
    std::vector<std::string> sequenceBare;
    for (const ReadWord& word : words) {
        bare.push_back(bareWord(word.text));
    }
    for (const ReadWord& word : sequence) {
        sequenceBare.push_back(bareWord(word.text));
    }
    const auto same = [&](std::size_t word, std::size_t other) {
        return oneWordRead(words[word].text, sequence[other].text, bare[word], sequenceBare[other]);
    };
    const std::size_t columns = sequence.size() + 1;
    std::vector<std::size_t> longest((words.size() + 1) * columns, 0);
    const auto at = [&](std::size_t word, std::size_t other) -> std::size_t& {
        return longest[word * columns + other];
    };
    for (std::size_t word = words.size(); word-- > 0;) {
        for (std::size_t other = sequence.size(); other-- > 0;) {
            at(word, other) = std::max(at(word + 1, other), at(word, other + 1));
            if (same(word, other)) {
                at(word, other) = std::max(at(word, other), at(word + 1, other + 1) + 1);
            }
        }
    }
    std::size_t word = 0;
    std::size_t other = 0;
    while (word < words.size() && other < sequence.size()) {
        if (same(word, other) && at(word, other) == at(word + 1, other + 1) + 1) {
            aligned[word++] = other++;
        } else if (at(word + 1, other) >= at(word, other + 1)) {
            ++word;
        } else {
            ++other;
        }
    }
    return aligned;
}

// `boxes`' indices in reading order: top to bottom, and left to right
// within a run of boxes sharing rows with the run's first. A run holds its
// first at least, whatever its box.
std::vector<std::size_t> readingOrder(const std::vector<cv::Rect2f>& boxes) {
    std::vector<std::size_t> order(boxes.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t first, std::size_t second) {
        return boxes[first].y + boxes[first].height / 2 < boxes[second].y + boxes[second].height / 2;
    });
    auto start = order.begin();
    while (start != order.end()) {
        const auto end = std::find_if(std::next(start), order.end(),
                                      [&](std::size_t index) { return !shareRows(boxes[*start], boxes[index]); });
        std::stable_sort(start, end,
                         [&](std::size_t first, std::size_t second) { return boxes[first].x < boxes[second].x; });
        start = end;
    }
    return order;
}

// The kept lines that overlap `box`, in reading order.
std::vector<std::size_t> linesSharingRows(const std::vector<ReadLine>& lines, const cv::Rect2f& box) {
    std::vector<cv::Rect2f> boxes;
    for (const ReadLine& line : lines) {
        boxes.push_back(line.box);
    }
    std::vector<std::size_t> sharing = readingOrder(boxes);
    std::erase_if(sharing, [&](std::size_t index) { return !overlap(lines[index].box, box); });
    return sharing;
}

// Whether a line's words are prose, a page's sentence rather than a
// screen's labels and values or a table's heading: five words or more,
// most of them known words in lower case the recogniser is sure of.
bool isProse(const std::vector<ReadWord>& words) {
    const auto known = std::count_if(words.begin(), words.end(), [](const ReadWord& word) {
        return word.dictionary && sureWord(word) && std::islower(static_cast<unsigned char>(word.text.front())) != 0;
    });
    return words.size() >= proseWords && 2 * static_cast<std::size_t>(known) > words.size();
}

// The kept lines with each word the other reading read better where it
// stands for one word alone (the detected reading's for a lookalike of
// the layout's), and each sure word it found where they have none.
void withOtherWords(std::vector<ReadLine>& kept, const std::vector<ReadLine>& otherLines, bool layoutKept) {
    const std::vector<ReadWord> other = wordsOfAll(otherLines);
    std::vector<std::vector<ReadWord>> keptWords;
    std::vector<bool> prose;
    for (const ReadLine& line : kept) {
        keptWords.push_back(wordsOf(line));
        prose.push_back(isProse(keptWords.back()));
    }
    for (std::size_t line = 0; line < kept.size(); ++line) {
        bool changed = withWholeKnownWords(keptWords[line], other);
        changed = withLabelsApartFromValues(keptWords[line], other) || changed;
        // A network's line has its words laid along its box, not where
        // their glyphs stand: a lookalike that a line of the other reading
        // centred in this one's rows holds in the same order faces the
        // word, whatever the boxes say ("0" for "O").
        std::vector<ReadWord> inRows;
        for (const std::size_t index : linesSharingRows(otherLines, kept[line].box)) {
            const cv::Rect2f& box = otherLines[index].box;
            const float middle = box.y + box.height / 2;
            if (middle < kept[line].box.y || middle > kept[line].box.br().y) {
                continue;
            }
            const std::vector<ReadWord> words = wordsOf(otherLines[index]);
            inRows.insert(inRows.end(), words.begin(), words.end());
        }
        const std::vector<std::optional<std::size_t>> partners = alignedTo(keptWords[line], inRows);
        for (std::size_t index = 0; index < keptWords[line].size(); ++index) {
            ReadWord& own = keptWords[line][index];
            std::vector<const ReadWord*> facing = facingWords(own, other);
            long facingOwn = 1;
            if (partners[index] && lookAlike(inRows[*partners[index]].text, own.text)) {
                facing = {&inRows[*partners[index]]};
            } else if (facing.size() == 1) {
                facingOwn = 0;
                for (const std::vector<ReadWord>& words : keptWords) {
                    facingOwn += std::count_if(words.begin(), words.end(), [&](const ReadWord& word) {
                        return sameWordPlace(*facing.front(), word);
                    });
                }
            } else {
                continue;
            }
            // Where the layout's line is kept, the detected word stands
            // for a lookalike unless the layout's is far surer, and for one
            // the layout read with a widget glued to it. A known word
            // holding the detected one is a glyph the detected line lost
            // ("clarity" for "larity"), not a widget.
            const ReadWord& facingWord = *facing.front();
            const bool detectedWord =
                layoutKept && facingWord.text != own.text &&
                ((lookAlike(facingWord.text, own.text) && worth(own) < worth(facingWord) + farSurer) ||
                 (!own.dictionary && holdsGlyph(facingWord.text) &&
                  own.text.find(facingWord.text) != std::string::npos));
            // In prose a known word is the likelier reading of a word
            // the other reading does not know ("clarity" for "larity").
            const bool knownInProse =
                prose[line] && facingWord.dictionary && !own.dictionary && sureWord(facingWord) &&
                oneWordRead(facingWord.text, own.text, bareWord(facingWord.text), bareWord(own.text)) &&
                worth(facingWord) >= worth(own);
            if (facingOwn == 1 && (detectedWord || knownInProse || betterWord(facingWord, own))) {
                own.text = facingWord.text;
                own.confidence = facingWord.confidence;
                own.dictionary = facingWord.dictionary;
                changed = true;
            }
        }
        if (changed) {
            kept[line].text = joinedWords(keptWords[line]);
            kept[line].words = keptWords[line];
        }
    }
    const auto lineMark = [&](const ReadWord& word) {
        return !holdsGlyph(word.text) && word.confidence >= sureMark &&
               std::any_of(kept.begin(), kept.end(), [&](const ReadLine& line) {
                   return shareRows(word.box, line.box) && word.box.height <= markHeight * line.box.height;
               });
    };
    // Words go in beside the kept word their neighbour in the other line
    // was read as, by line and place in it; a run of them in their order.
    std::map<std::pair<std::size_t, std::size_t>, std::vector<ReadWord>> insertions;
    std::vector<ReadLine> ownLines;
    for (const ReadLine& otherLine : otherLines) {
        const std::vector<ReadWord> words = wordsOf(otherLine);
        std::vector<std::pair<std::size_t, std::size_t>> places;
        std::vector<ReadWord> sequence;
        for (const std::size_t line : linesSharingRows(kept, otherLine.box)) {
            for (std::size_t index = 0; index < keptWords[line].size(); ++index) {
                places.emplace_back(line, index);
                sequence.push_back(keptWords[line][index]);
            }
        }
        const std::vector<std::optional<std::size_t>> aligned = alignedTo(words, sequence);
        std::optional<std::pair<std::size_t, std::size_t>> before;
        std::vector<ReadWord> alone;
        for (std::size_t index = 0; index < words.size(); ++index) {
            if (aligned[index]) {
                before = places[*aligned[index]];
                continue;
            }
            const ReadWord& word = words[index];
            if (!(sureWord(word) || sureNumber(word) || lineMark(word)) || covered(word, otherLine.box.height, kept)) {
                continue;
            }
            if (before) {
                insertions[{before->first, before->second + 1}].push_back(word);
                continue;
            }
            const auto next = std::find_if(aligned.begin() + static_cast<std::ptrdiff_t>(index), aligned.end(),
                                           [](const auto& at) { return at.has_value(); });
            if (next != aligned.end()) {
                insertions[places[**next]].push_back(word);
            } else {
                alone.push_back(word);
            }
        }
        if (!alone.empty()) {
            ownLines.push_back({boxOf(alone), joinedWords(alone), confidenceOf(alone), alone});
        }
    }
    // From the back, so that the places still to fill keep their indices.
    for (auto insertion = insertions.rbegin(); insertion != insertions.rend(); ++insertion) {
        const auto [line, at] = insertion->first;
        std::vector<ReadWord>& words = keptWords[line];
        words.insert(words.begin() + static_cast<std::ptrdiff_t>(at), insertion->second.begin(),
                     insertion->second.end());
        kept[line].text = joinedWords(words);
        kept[line].words = words;
        for (const ReadWord& word : insertion->second) {
            kept[line].box |= word.box;
        }
    }
    kept.insert(kept.end(), std::make_move_iterator(ownLines.begin()), std::make_move_iterator(ownLines.end()));
}

// The detected lines with the pieces of one line the layout analysis
// found whole joined, left to right: the detection network parts a line
// where a space is wide ("Name", "Size" and "Owner" of "| Name | Size |
// Owner |").
std::vector<ReadLine> joinedAsLaidOut(std::vector<ReadLine> detected, const std::vector<ReadLine>& laidOut) {
    std::vector<ReadLine> joined;
    std::vector<bool> taken(detected.size(), false);
    for (const ReadLine& whole : laidOut) {
        std::vector<std::size_t> pieces;
        for (std::size_t index = 0; index < detected.size(); ++index) {
            if (!taken[index] && overlap(detected[index].box, whole.box)) {
                pieces.push_back(index);
            }
        }
        if (pieces.size() < 2) {
            continue;
        }
        std::sort(pieces.begin(), pieces.end(), [&](std::size_t first, std::size_t second) {
            return detected[first].box.x < detected[second].box.x;
        });
        // Pieces of one line stand side by side; lines of a turned page
        // whose boxes share rows stand over one another.
        const bool sideBySide =
            std::adjacent_find(pieces.begin(), pieces.end(), [&](std::size_t left, std::size_t right) {
                const cv::Rect2f& first = detected[left].box;
                const cv::Rect2f& second = detected[right].box;
                return second.x < first.br().x - std::min(first.height, second.height) / 2;
            }) == pieces.end();
        if (!sideBySide) {
            continue;
        }
        ReadLine line = detected[pieces.front()];
        line.words = wordsOf(line);
        for (std::size_t piece = 1; piece < pieces.size(); ++piece) {
            const ReadLine& next = detected[pieces[piece]];
            const std::vector<ReadWord> words = wordsOf(next);
            line.text += " " + next.text;
            line.words.insert(line.words.end(), words.begin(), words.end());
            line.box |= next.box;
            line.confidence = std::min(line.confidence, next.confidence);
        }
        for (const std::size_t piece : pieces) {
            taken[piece] = true;
        }
        joined.push_back(std::move(line));
    }
    for (std::size_t index = 0; index < detected.size(); ++index) {
        if (!taken[index]) {
            joined.push_back(std::move(detected[index]));
        }
    }
    return joined;
}

// Whether `words` read the glyphs of the prose `other` read with most of
// their spaces lost: a blurred line cut out and read alone can come out
// as one word ("indexmatrixmaybegiven...").
bool lostSpaces(const std::vector<ReadWord>& words, const std::vector<ReadWord>& other) {
    long glyphs = 0;
    long otherGlyphs = 0;
    for (const ReadWord& word : words) {
        glyphs += static_cast<long>(bareWord(word.text).size());
    }
    for (const ReadWord& word : other) {
        otherGlyphs += static_cast<long>(bareWord(word.text).size());
    }
    return isProse(other) && 2 * words.size() < other.size() && 4 * std::abs(glyphs - otherGlyphs) <= otherGlyphs;
}

// The detected lines, each whose spaces the recogniser lost taken as
// the layout's words that lie in it, in their order.
std::vector<ReadLine> withSpacesFound(std::vector<ReadLine> detected, const std::vector<ReadLine>& laidOut) {
    const std::vector<ReadWord> laidOutWords = wordsOfAll(laidOut);
    for (ReadLine& line : detected) {
        std::vector<ReadWord> inside;
        for (const ReadWord& word : laidOutWords) {
            if (line.box.contains((word.box.tl() + word.box.br()) / 2)) {
                inside.push_back(word);
            }
        }
        if (!lostSpaces(wordsOf(line), inside)) {
            continue;
        }
        std::stable_sort(inside.begin(), inside.end(),
                         [](const ReadWord& first, const ReadWord& second) { return first.box.x < second.box.x; });
        line.text = joinedWords(inside);
        line.confidence = confidenceOf(inside);
        line.words = std::move(inside);
    }
    return detected;
}

// The lines of one place both readings found: the detected lines, tuned
// on many more kinds of text, unless the layout's are clearly surer. Of
// prose, the layout's lines where they are as sure: the layout analysis
// reads a page's sentences as well, and loses a glyph at a line's cut
// ("ftted" for "fitted") less often.
std::vector<ReadLine> surerPlace(const std::vector<ReadLine>& detected, const std::vector<ReadLine>& laidOut) {
    const std::vector<ReadWord> detectedWords = wordsOfAll(detected);
    const std::vector<ReadWord> laidOutWords = wordsOfAll(laidOut);
    const bool prose =
        std::all_of(laidOut.begin(), laidOut.end(), [](const ReadLine& line) { return isProse(wordsOf(line)); });
    const bool layoutSurer = sureness(laidOutWords) >= sureness(detectedWords) + (prose ? 0.0F : clearlySurer);
    std::vector<ReadLine> kept = layoutSurer ? laidOut : detected;
    withOtherWords(kept, layoutSurer ? detected : laidOut, layoutSurer);
    return layoutSurer ? kept : joinedAsLaidOut(std::move(kept), laidOut);
}

// The groups of lines in `lines` that overlap, by index.
std::vector<std::vector<std::size_t>> places(const std::vector<cv::Rect2f>& boxes) {
    std::vector<std::size_t> parent(boxes.size());
    std::iota(parent.begin(), parent.end(), 0);
    const auto root = [&](std::size_t index) {
        while (parent[index] != index) {
            parent[index] = parent[parent[index]];
            index = parent[index];
        }
        return index;
    };
    for (std::size_t first = 0; first < boxes.size(); ++first) {
        for (std::size_t second = first + 1; second < boxes.size(); ++second) {
            if (overlap(boxes[first], boxes[second])) {
                parent[root(first)] = root(second);
            }
        }
    }
    std::vector<std::vector<std::size_t>> groups(boxes.size());
    for (std::size_t index = 0; index < boxes.size(); ++index) {
        groups[root(index)].push_back(index);
    }
    std::erase_if(groups, [](const auto& group) { return group.empty(); });
    return groups;
}

// Whether a box can be placed among others: a size and finite corners.
bool usable(const cv::Rect2f& box) {
    return std::isfinite(box.x) && std::isfinite(box.y) && std::isfinite(box.width) && std::isfinite(box.height) &&
           box.width > 0 && box.height > 0;
}

std::vector<ReadLine> usableLines(const std::vector<ReadLine>& lines) {
    std::vector<ReadLine> usable;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(usable),
                 [](const ReadLine& line) { return vision::usable(line.box); });
    return usable;
}

}  // namespace

std::vector<ReadLine> mergedLineReadings(const std::vector<ReadLine>& detectedLines,
                                         const std::vector<ReadLine>& laidOutLines) {
    // A box without size shares rows with nothing, itself included.
    const std::vector<ReadLine> laidOut = usableLines(laidOutLines);
    const std::vector<ReadLine> detected = withSpacesFound(usableLines(detectedLines), laidOut);
    std::vector<cv::Rect2f> boxes;
    for (const ReadLine& line : detected) {
        boxes.push_back(line.box);
    }
    for (const ReadLine& line : laidOut) {
        boxes.push_back(line.box);
    }
    std::vector<ReadLine> merged;
    for (const std::vector<std::size_t>& place : places(boxes)) {
        std::vector<ReadLine> ownDetected;
        std::vector<ReadLine> ownLaidOut;
        for (const std::size_t index : place) {
            if (index < detected.size()) {
                ownDetected.push_back(detected[index]);
            } else {
                ownLaidOut.push_back(laidOut[index - detected.size()]);
            }
        }
        if (ownLaidOut.empty()) {
            merged.insert(merged.end(), ownDetected.begin(), ownDetected.end());
        } else if (ownDetected.empty()) {
            for (ReadLine& line : ownLaidOut) {
                if (auto kept = trusted(std::move(line))) {
                    merged.push_back(std::move(*kept));
                }
            }
        } else {
            const auto kept = surerPlace(ownDetected, ownLaidOut);
            merged.insert(merged.end(), kept.begin(), kept.end());
        }
    }
    // A line made of the words of a box without size has none either.
    std::erase_if(merged, [](const ReadLine& line) { return !usable(line.box); });
    std::vector<cv::Rect2f> mergedBoxes;
    for (const ReadLine& line : merged) {
        mergedBoxes.push_back(line.box);
    }
    std::vector<ReadLine> ordered;
    for (const std::size_t index : readingOrder(mergedBoxes)) {
        ordered.push_back(std::move(merged[index]));
    }
    return ordered;
}

}  // namespace lumenary::platform::vision
