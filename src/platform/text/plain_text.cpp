#include "platform/text/plain_text.hpp"

#include <algorithm>
#include <cstdio>

namespace lumenary::platform {

std::string asciiLowercased(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char character) {
        return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
    });
    return lower;
}

std::string_view trimmedBlanks(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string_view lastLine(std::string_view text) {
    text = trimmedBlanks(text);
    return trimmedBlanks(text.substr(text.find_last_of('\n') + 1));
}

std::string replacingAll(std::string text, std::string_view placeholder, std::string_view replacement) {
    if (placeholder.empty()) {
        return text;
    }
    for (auto position = text.find(placeholder); position != std::string::npos;
         position = text.find(placeholder, position + replacement.size())) {
        text.replace(position, placeholder.size(), replacement);
    }
    return text;
}

std::string secondsText(std::chrono::milliseconds duration) {
    char buffer[32];
    const auto written = std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(duration.count()) / 1000.0);
    return std::string(buffer, static_cast<std::size_t>(std::max(written, 0)));
}

}  // namespace lumenary::platform
