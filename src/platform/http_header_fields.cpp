#include "platform/http_header_fields.hpp"

#include <algorithm>

namespace lumenary::platform {

namespace {

char lowered(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
}

bool equalIgnoringCase(std::string_view left, std::string_view right) {
    return std::ranges::equal(left, right, [](char a, char b) { return lowered(a) == lowered(b); });
}

}  // namespace

void HTTPHeaderFields::add(std::string name, std::string value) {
    fields_.push_back({std::move(name), std::move(value)});
}

std::optional<std::string> HTTPHeaderFields::value(std::string_view name) const {
    for (const auto& field : fields_) {
        if (equalIgnoringCase(field.name, name)) {
            return field.value;
        }
    }
    return std::nullopt;
}

}  // namespace lumenary::platform
