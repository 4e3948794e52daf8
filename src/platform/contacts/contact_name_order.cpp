#include "platform/contacts/contact_name_order.hpp"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

namespace lumenary::platform {

namespace {

bool isFamilyNameFirstScript(UScriptCode script) {
    return script == USCRIPT_HAN || script == USCRIPT_HIRAGANA || script == USCRIPT_KATAKANA ||
           script == USCRIPT_HANGUL;
}

// ICU's UTF-8 stepping macro carries casts of the C kind.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
UChar32 nextCharacter(const uint8_t* bytes, int32_t& index, int32_t length) {
    UChar32 character = 0;
    U8_NEXT(bytes, index, length, character);
    return character;
}
#pragma GCC diagnostic pop

}  // namespace

bool isWrittenFamilyNameFirst(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    bool found = false;
    for (int32_t index = 0; index < length;) {
        const UChar32 character = nextCharacter(bytes, index, length);
        if (character < 0 || !u_isalpha(character)) {
            continue;
        }
        UErrorCode status = U_ZERO_ERROR;
        const UScriptCode script = uscript_getScript(character, &status);
        // Marks shared by several scripts (the Katakana long vowel "ー")
        // decide nothing.
        if (U_FAILURE(status) || script == USCRIPT_COMMON || script == USCRIPT_INHERITED) {
            continue;
        }
        if (!isFamilyNameFirstScript(script)) {
            return false;
        }
        found = true;
    }
    return found;
}

std::string writtenName(const ContactName& name) {
    if (isWrittenFamilyNameFirst(name.familyName + name.givenName)) {
        return name.familyName + name.givenName;
    }
    std::string written = name.givenName;
    if (!written.empty() && !name.familyName.empty()) {
        written.push_back(' ');
    }
    written.append(name.familyName);
    return written;
}

}  // namespace lumenary::platform
