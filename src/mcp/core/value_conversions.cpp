#include "mcp/core/value_conversions.hpp"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace lumenary::mcp {

std::optional<bool> boolFrom(const Value& value, bool strict) {
    if (auto boolean = value.boolValue()) {
        return boolean;
    }
    if (strict) {
        return std::nullopt;
    }
    if (auto integer = value.intValue()) {
        if (*integer == 0 || *integer == 1) return *integer == 1;
        return std::nullopt;
    }
    if (auto number = value.doubleValue()) {
        if (*number == 0.0 || *number == 1.0) return *number == 1.0;
        return std::nullopt;
    }
    if (const auto* text = value.stringValue()) {
        static constexpr std::array<std::string_view, 6> yes = {"true", "t", "yes", "y", "on", "1"};
        static constexpr std::array<std::string_view, 6> no = {"false", "f", "no", "n", "off", "0"};
        for (auto word : yes) {
            if (*text == word) return true;
        }
        for (auto word : no) {
            if (*text == word) return false;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> integerFrom(const Value& value, bool strict) {
    if (auto integer = value.intValue()) {
        return integer;
    }
    if (strict) {
        return std::nullopt;
    }
    if (auto number = value.doubleValue()) {
        // 2^63 itself is out of range; -2^63 is in.
        constexpr double limit = 9223372036854775808.0;
        if (std::isfinite(*number) && std::trunc(*number) == *number && *number >= -limit && *number < limit) {
            return static_cast<std::int64_t>(*number);
        }
        return std::nullopt;
    }
    if (const auto* text = value.stringValue()) {
        std::string_view digits = *text;
        if (digits.starts_with('+')) {
            digits.remove_prefix(1);
            if (digits.starts_with('-')) return std::nullopt;
        }
        if (digits.empty()) return std::nullopt;
        std::int64_t integer = 0;
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), integer);
        if (error != std::errc() || end != digits.data() + digits.size() || digits == "-") {
            return std::nullopt;
        }
        return integer;
    }
    return std::nullopt;
}

std::optional<double> doubleFrom(const Value& value, bool strict) {
    if (auto number = value.doubleValue()) {
        return number;
    }
    if (auto integer = value.intValue()) {
        return static_cast<double>(*integer);
    }
    if (strict) {
        return std::nullopt;
    }
    const auto* text = value.stringValue();
    if (text == nullptr || text->empty()) {
        return std::nullopt;
    }
    // strtod would skip leading white space; the whole text must be the number.
    if (std::string_view(" \t\n\v\f\r", 6).find(text->front()) != std::string_view::npos || text->front() == '\0') {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const double number = std::strtod(text->c_str(), &end);
    if (end != text->c_str() + text->size()) {
        return std::nullopt;
    }
    return number;
}

std::optional<std::string> stringFrom(const Value& value, bool strict) {
    if (const auto* text = value.stringValue()) {
        return *text;
    }
    if (strict) {
        return std::nullopt;
    }
    if (auto boolean = value.boolValue()) {
        return *boolean ? "true" : "false";
    }
    if (auto integer = value.intValue()) {
        return std::to_string(*integer);
    }
    if (auto number = value.doubleValue()) {
        return doubleText(*number);
    }
    return std::nullopt;
}

}  // namespace lumenary::mcp
