#include "platform/defaults/defaults_store.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

std::string lowercasedValue(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
    return result;
}

std::optional<std::int64_t> leadingInteger(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc()) {
        return std::nullopt;
    }
    return number;
}

std::int64_t truncatedDouble(double number) {
    // Outside this range the cast is undefined; such values read as 0.
    if (!std::isfinite(number) || number >= 9223372036854775808.0 || number < -9223372036854775808.0) {
        return 0;
    }
    return static_cast<std::int64_t>(number);
}

}  // namespace

bool booleanCoercion(const mcp::Value& value) {
    if (const auto boolean = value.boolValue()) {
        return *boolean;
    }
    if (const auto integer = value.intValue()) {
        return *integer != 0;
    }
    if (const auto number = value.doubleValue()) {
        return *number != 0.0;
    }
    if (const auto* text = value.stringValue()) {
        const auto lower = lowercasedValue(*text);
        if (lower == "yes" || lower == "true") {
            return true;
        }
        return leadingInteger(*text).value_or(0) != 0;
    }
    return false;
}

std::int64_t integerCoercion(const mcp::Value& value) {
    if (const auto integer = value.intValue()) {
        return *integer;
    }
    if (const auto number = value.doubleValue()) {
        return truncatedDouble(*number);
    }
    if (const auto boolean = value.boolValue()) {
        return *boolean ? 1 : 0;
    }
    if (const auto* text = value.stringValue()) {
        return leadingInteger(*text).value_or(0);
    }
    return 0;
}

bool DefaultsStore::boolean(std::string_view key) const {
    const auto value = object(key);
    return value && booleanCoercion(*value);
}

std::int64_t DefaultsStore::integer(std::string_view key) const {
    const auto value = object(key);
    return value ? integerCoercion(*value) : 0;
}

std::optional<std::string> DefaultsStore::data(std::string_view key) const {
    const auto value = object(key);
    if (!value) {
        return std::nullopt;
    }
    if (const auto* text = value->stringValue()) {
        return *text;
    }
    if (const auto* bytes = value->dataValue()) {
        return bytes->bytes;
    }
    return std::nullopt;
}

void DefaultsStore::setData(std::string_view key, std::string bytes) {
    if (system::isValidUTF8(bytes)) {
        set(key, mcp::Value(std::move(bytes)));
    } else {
        set(key, mcp::Value::data(std::move(bytes), "application/octet-stream"));
    }
}

}  // namespace lumenary::platform
