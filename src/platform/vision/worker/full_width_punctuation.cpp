#include "platform/vision/worker/full_width_punctuation.hpp"

#include <cctype>
#include <cstddef>
#include <vector>

namespace lumenary::platform::vision {
namespace {

// One character of the line: its code point (none for a byte that starts
// no well-formed sequence) and its bytes, kept as they came.
struct Character {
    char32_t point = 0;
    bool decoded = false;
    std::string_view bytes;
};

std::vector<Character> characters(std::string_view line) {
    std::vector<Character> result;
    std::size_t index = 0;
    while (index < line.size()) {
        const auto lead = static_cast<unsigned char>(line[index]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        bool wellFormed = length != 0 && index + length <= line.size();
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t continuation = 1; wellFormed && continuation < length; ++continuation) {
            const auto byte = static_cast<unsigned char>(line[index + continuation]);
            wellFormed = (byte & 0xC0) == 0x80;
            point = (point << 6) | (byte & 0x3F);
        }
        const std::size_t taken = wellFormed ? length : 1;
        result.push_back({wellFormed ? point : 0, wellFormed, line.substr(index, taken)});
        index += taken;
    }
    return result;
}

bool isFullWidthMark(char32_t point) {
    return (point > 0x3000 && point <= 0x303F) || (point >= 0xFF01 && point <= 0xFF0F) ||
           (point >= 0xFF1A && point <= 0xFF20) || (point >= 0xFF3B && point <= 0xFF40) ||
           (point >= 0xFF5B && point <= 0xFF65);
}

// Han (with its extensions and compatibility forms), kana, hangul, and the
// marks and full-width forms of those scripts.
bool isSquareGlyph(const Character& character) {
    const char32_t point = character.point;
    return character.decoded && ((point >= 0x2E80 && point <= 0x9FFF) || (point >= 0xAC00 && point <= 0xD7AF) ||
                                 (point >= 0xF900 && point <= 0xFAFF) || (point >= 0xFF01 && point <= 0xFF65) ||
                                 (point >= 0x20000 && point <= 0x3FFFF));
}

const char* fullWidthForm(char32_t point) {
    switch (point) {
        case ',': return "\xEF\xBC\x8C";  // ，
        case ':': return "\xEF\xBC\x9A";  // ：
        case ';': return "\xEF\xBC\x9B";  // ；
        case '!': return "\xEF\xBC\x81";  // ！
        case '?': return "\xEF\xBC\x9F";  // ？
        case '(': return "\xEF\xBC\x88";  // （
        case ')': return "\xEF\xBC\x89";  // ）
        default: return nullptr;
    }
}

bool isSpace(const Character& character) {
    return character.decoded && character.point == ' ';
}

}  // namespace

std::string withFullWidthPunctuation(std::string_view line) {
    const std::vector<Character> input = characters(line);
    // Each character's text after the change; a space that goes is empty.
    std::vector<std::string_view> output;
    std::vector<bool> fullWidth;
    output.reserve(input.size());
    for (const Character& character : input) {
        output.push_back(character.bytes);
        fullWidth.push_back(character.decoded && isFullWidthMark(character.point));
    }
    // Whether the nearest character that is not a space, before or after
    // `index`, is a square glyph; a mark made full-width already counts.
    const auto squareGlyphBeside = [&](std::size_t index, int step) {
        for (auto at = static_cast<std::ptrdiff_t>(index) + step;
             at >= 0 && at < static_cast<std::ptrdiff_t>(input.size()); at += step) {
            const auto position = static_cast<std::size_t>(at);
            if (!isSpace(input[position])) {
                return fullWidth[position] || isSquareGlyph(input[position]);
            }
        }
        return false;
    };
    for (std::size_t index = 0; index < input.size(); ++index) {
        const Character& character = input[index];
        const char* form = character.decoded ? fullWidthForm(character.point) : nullptr;
        if (form == nullptr) {
            continue;
        }
        if (squareGlyphBeside(index, character.point == '(' ? 1 : -1)) {
            output[index] = form;
            fullWidth[index] = true;
        }
    }
    std::string result;
    result.reserve(line.size() + line.size() / 2);
    for (std::size_t index = 0; index < input.size(); ++index) {
        if (isSpace(input[index])) {
            // The run of spaces this one belongs to, and what lies either side.
            std::size_t first = index;
            while (first > 0 && isSpace(input[first - 1])) {
                --first;
            }
            std::size_t last = index;
            while (last + 1 < input.size() && isSpace(input[last + 1])) {
                ++last;
            }
            const bool besideMark =
                (first > 0 && fullWidth[first - 1]) || (last + 1 < input.size() && fullWidth[last + 1]);
            if (besideMark) {
                continue;
            }
        }
        result += output[index];
    }
    return result;
}

namespace {

// The text with each full-width form of an ASCII character (U+FF01 to
// U+FF5E) for which `wanted` holds, as that character.
template <typename Wanted>
std::string withAsciiFormsOf(std::string_view text, Wanted wanted) {
    std::string ascii;
    std::size_t at = 0;
    while (at < text.size()) {
        // U+FF01..U+FF5E is EF BC 81..EF BC BF and EF BD 80..EF BD 9E.
        if (at + 2 < text.size() && static_cast<unsigned char>(text[at]) == 0xEF) {
            const auto second = static_cast<unsigned char>(text[at + 1]);
            const auto third = static_cast<unsigned char>(text[at + 2]);
            // Within U+FF00..U+FFFF: the low twelve bits of the character.
            const int codePoint = ((second & 0x3F) << 6) | (third & 0x3F);
            const char character = static_cast<char>(codePoint - 0xF01 + 0x21);
            if ((second == 0xBC || second == 0xBD) && (third & 0xC0) == 0x80 && codePoint >= 0xF01 &&
                codePoint <= 0xF5E && wanted(character)) {
                ascii += character;
                at += 3;
                continue;
            }
        }
        ascii += text[at++];
    }
    return ascii;
}

}  // namespace

std::string withAsciiMarks(std::string_view text) {
    return withAsciiFormsOf(text, [](char mark) { return std::string_view(",:;!?()").find(mark) != std::string_view::npos; });
}

std::string withAsciiForms(std::string_view text) {
    return withAsciiFormsOf(text, [](char glyph) { return std::isalnum(static_cast<unsigned char>(glyph)) != 0; });
}

}  // namespace lumenary::platform::vision
