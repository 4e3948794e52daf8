#include "platform/text/text_words.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "platform/text/contiguous_search.hpp"
#include "platform/text/unicode_text.hpp"

namespace lumenary::platform {

namespace {

bool isWhiteSpace(UChar32 character) {
    return character >= 0 && u_isUWhiteSpace(character);
}

bool isIdeograph(UChar32 character) {
    return u_hasBinaryProperty(character, UCHAR_IDEOGRAPHIC);
}

bool isWordCharacter(UChar32 character) {
    if (character < 0) {
        return false;
    }
    return u_isalnum(character) || (U_GET_GC_MASK(character) & U_GC_M_MASK) != 0;
}

// ICU's UTF-8 stepping macros carry casts of the C kind.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
UChar32 characterBefore(const uint8_t* bytes, int32_t start, int32_t& index) {
    UChar32 character = 0;
    U8_PREV(bytes, start, index, character);
    return character;
}
UChar32 characterAt(const uint8_t* bytes, int32_t& index, int32_t length) {
    UChar32 character = 0;
    U8_NEXT(bytes, index, length, character);
    return character;
}
#pragma GCC diagnostic pop

}  // namespace

std::string_view trimmedWhiteSpace(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        if (!isWhiteSpace(characterAt(bytes, next, length))) {
            break;
        }
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        if (!isWhiteSpace(characterBefore(bytes, start, previous))) {
            break;
        }
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

std::vector<std::string> lowercasedWords(std::string_view text) {
    const std::string lower = lowercased(text);
    const auto* bytes = reinterpret_cast<const uint8_t*>(lower.data());
    const auto length = static_cast<int32_t>(lower.size());
    std::vector<std::string> words;
    std::string word;
    const auto endWord = [&] {
        if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    };
    for (int32_t index = 0; index < length;) {
        const int32_t start = index;
        const UChar32 character = characterAt(bytes, index, length);
        if (!isWordCharacter(character)) {
            endWord();
            continue;
        }
        const std::string_view characterText(lower.data() + start, static_cast<std::size_t>(index - start));
        if (isIdeograph(character)) {
            endWord();
            words.emplace_back(characterText);
            continue;
        }
        word.append(characterText);
    }
    endWord();
    return words;
}

bool containsWordSequence(const std::vector<std::string>& words, const std::vector<std::string>& sequence) {
    if (sequence.empty()) {
        return false;
    }
    return containsContiguous<std::string>(words, sequence);
}

}  // namespace lumenary::platform
