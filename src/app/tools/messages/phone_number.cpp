#include "app/tools/messages/phone_number.hpp"

#include "platform/text/unicode_characters.hpp"

namespace lumenary::app {

std::string normalizePhoneNumber(std::string_view phoneNumber) {
    std::string kept;
    std::size_t keptCharacters = 0;
    for (const auto& character : platform::userPerceivedCharacters(phoneNumber)) {
        if (character == "+" || platform::isNumberCharacter(character)) {
            kept += character;
            ++keptCharacters;
        }
    }
    if (kept.starts_with('+') || keptCharacters != 10) {
        return kept;
    }
    return "+1" + kept;
}

}  // namespace lumenary::app
