#include "http_client/http_header_fields.hpp"

#include <algorithm>

namespace lumenary::http_client {

namespace {

char lowered(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
}

bool equalIgnoringCase(std::string_view left, std::string_view right) {
    return std::ranges::equal(left, right, [](char a, char b) { return lowered(a) == lowered(b); });
}

std::string_view trimmedField(std::string_view text) {
    const auto isSpace = [](char character) {
        return character == ' ' || character == '\t' || character == '\r' || character == '\n';
    };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

void HTTPHeaderFields::add(std::string name, std::string value) {
    fields_.push_back({std::move(name), std::move(value)});
}

void HTTPHeaderFields::addLine(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        return;
    }
    add(std::string(trimmedField(line.substr(0, colon))), std::string(trimmedField(line.substr(colon + 1))));
}

std::optional<std::string> HTTPHeaderFields::value(std::string_view name) const {
    for (const auto& field : fields_) {
        if (equalIgnoringCase(field.name, name)) {
            return field.value;
        }
    }
    return std::nullopt;
}

}  // namespace lumenary::http_client

namespace lumenary::http_client {

bool isMediaType(std::string_view contentType, std::string_view mediaType) {
    return equalIgnoringCase(trimmedField(contentType.substr(0, contentType.find(';'))), mediaType);
}

}  // namespace lumenary::http_client
