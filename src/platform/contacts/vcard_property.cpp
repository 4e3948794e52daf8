#include "platform/contacts/vcard_property.hpp"

#include <algorithm>

namespace lumenary::platform {

namespace {

std::string upperCasedASCII(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return upper;
}

// Where `separator` first stands outside double quotes, or npos.
std::size_t findUnquoted(std::string_view text, char separator, std::size_t from = 0) {
    bool quoted = false;
    for (std::size_t index = from; index < text.size(); ++index) {
        if (text[index] == '"') {
            quoted = !quoted;
        } else if (text[index] == separator && !quoted) {
            return index;
        }
    }
    return std::string_view::npos;
}

std::vector<std::string_view> splitUnquoted(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = findUnquoted(text, separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::string unquoted(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

VCardParameter parseParameter(std::string_view text) {
    const std::size_t equals = findUnquoted(text, '=');
    if (equals == std::string_view::npos) {
        return {.name = "", .values = {unquoted(text)}};
    }
    VCardParameter parameter{.name = upperCasedASCII(text.substr(0, equals)), .values = {}};
    for (std::string_view value : splitUnquoted(text.substr(equals + 1), ',')) {
        parameter.values.push_back(unquoted(value));
    }
    return parameter;
}

bool isBareEncoding(std::string_view upperValue) {
    return upperValue == "QUOTED-PRINTABLE" || upperValue == "BASE64" || upperValue == "B";
}

}  // namespace

std::string VCardProperty::encoding() const {
    for (const VCardParameter& parameter : parameters) {
        if (parameter.values.empty()) {
            continue;
        }
        std::string upperValue = upperCasedASCII(parameter.values.front());
        if (parameter.name == "ENCODING" || (parameter.name.empty() && isBareEncoding(upperValue))) {
            return upperValue;
        }
    }
    return {};
}

bool VCardProperty::isBase64() const {
    const std::string transfer = encoding();
    return transfer == "BASE64" || transfer == "B";
}

std::optional<std::string> VCardProperty::charset() const {
    for (const VCardParameter& parameter : parameters) {
        if (parameter.name == "CHARSET" && !parameter.values.empty()) {
            return parameter.values.front();
        }
    }
    return std::nullopt;
}

std::optional<VCardProperty> parseVCardProperty(std::string_view line) {
    const std::size_t colon = findUnquoted(line, ':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::vector<std::string_view> head = splitUnquoted(line.substr(0, colon), ';');
    std::string_view name = head.front();
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        name.remove_prefix(dot + 1);
    }
    VCardProperty property{.name = upperCasedASCII(name), .parameters = {}, .value = std::string(line.substr(colon + 1))};
    for (std::size_t index = 1; index < head.size(); ++index) {
        if (!head[index].empty()) {
            property.parameters.push_back(parseParameter(head[index]));
        }
    }
    return property;
}

}  // namespace lumenary::platform
