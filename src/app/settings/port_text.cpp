#include "app/settings/port_text.hpp"

#include "platform/text/unicode_characters.hpp"

namespace lumenary::app {

std::optional<std::uint16_t> portFromText(std::string_view text) {
    std::uint32_t port = 0;
    bool anyDigit = false;
    for (const auto& character : platform::userPerceivedCharacters(text)) {
        if (!platform::isNumberCharacter(character)) {
            continue;
        }
        // Numerals of other scripts count as numbers but do not parse, even
        // beside ASCII digits.
        if (character.size() != 1 || character[0] < '0' || character[0] > '9') {
            return std::nullopt;
        }
        port = port * 10 + static_cast<std::uint32_t>(character[0] - '0');
        if (port > 65535) {
            return std::nullopt;
        }
        anyDigit = true;
    }
    if (!anyDigit || port == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(port);
}

}  // namespace lumenary::app
