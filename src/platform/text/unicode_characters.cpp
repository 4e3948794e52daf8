#include "platform/text/unicode_characters.hpp"

#include <memory>
#include <stdexcept>

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

struct CharacterTextCloser {
    void operator()(UText* text) const { utext_close(text); }
};

void throwOnFailure(UErrorCode status, const char* what) {
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string(what) + ": " + u_errorName(status));
    }
}

}  // namespace

std::vector<std::string> userPerceivedCharacters(std::string_view text) {
    const std::string repaired = system::repairUTF8(text);
    std::vector<std::string> characters;
    if (repaired.empty()) {
        return characters;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, CharacterTextCloser> utf8(
        utext_openUTF8(nullptr, repaired.data(), static_cast<int64_t>(repaired.size()), &status));
    throwOnFailure(status, "Cannot read text");
    // The root locale: the same characters under every LANG.
    std::unique_ptr<icu::BreakIterator> breaks(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    throwOnFailure(status, "Cannot split text into characters");
    breaks->setText(utf8.get(), status);
    throwOnFailure(status, "Cannot split text into characters");
    // Over UTF-8 text the iterator's positions are byte offsets.
    int32_t start = breaks->first();
    for (int32_t end = breaks->next(); end != icu::BreakIterator::DONE; start = end, end = breaks->next()) {
        characters.emplace_back(repaired, static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
    }
    return characters;
}

bool isNumberCharacter(std::string_view character) {
    if (character.empty()) {
        return false;
    }
    UChar32 first = 0;
    int32_t offset = 0;
    U8_NEXT(reinterpret_cast<const uint8_t*>(character.data()), offset, static_cast<int32_t>(character.size()), first);
    return first >= 0 && u_getIntPropertyValue(first, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

}  // namespace lumenary::platform
