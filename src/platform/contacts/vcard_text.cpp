#include "platform/contacts/vcard_text.hpp"

#include <algorithm>

#include "platform/contacts/vcard_property.hpp"
#include "platform/text/charset_conversion.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isUTF8Name(std::string charset) {
    std::transform(charset.begin(), charset.end(), charset.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return charset == "UTF-8" || charset == "UTF8";
}

}  // namespace

std::string decodedQuotedPrintable(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] == '=' && index + 2 < text.size()) {
            const int high = hexDigit(text[index + 1]);
            const int low = hexDigit(text[index + 2]);
            if (high >= 0 && low >= 0) {
                bytes.push_back(static_cast<char>(high * 16 + low));
                index += 2;
                continue;
            }
        }
        bytes.push_back(text[index]);
    }
    return bytes;
}

std::string vCardValueText(const VCardProperty& property) {
    std::string bytes = property.isQuotedPrintable() ? decodedQuotedPrintable(property.value) : property.value;
    if (const auto charset = property.charset(); charset && !isUTF8Name(*charset)) {
        if (auto converted = convertedToUTF8(bytes, *charset)) {
            bytes = std::move(*converted);
        }
    }
    return system::repairUTF8(bytes);
}

std::string unescapedVCardText(std::string_view text) {
    std::string unescaped;
    unescaped.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] != '\\' || index + 1 == text.size()) {
            unescaped.push_back(text[index]);
            continue;
        }
        const char escaped = text[++index];
        if (escaped == 'n' || escaped == 'N') {
            unescaped.push_back('\n');
        } else if (escaped == ',' || escaped == ';' || escaped == '\\' || escaped == ':') {
            unescaped.push_back(escaped);
        } else {
            // Not an escape at all: a Windows path in a note, say.
            unescaped.push_back('\\');
            unescaped.push_back(escaped);
        }
    }
    return unescaped;
}

std::vector<std::string> splitVCardValue(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] == '\\') {
            ++index;
        } else if (text[index] == separator) {
            parts.push_back(unescapedVCardText(text.substr(start, index - start)));
            start = index + 1;
        }
    }
    parts.push_back(unescapedVCardText(text.substr(start)));
    return parts;
}

}  // namespace lumenary::platform
