#include "logging/log_level.hpp"

#include <ostream>

namespace lumenary::logging {

std::string_view toString(LogLevel level) noexcept {
    switch (level) {
        case LogLevel::trace: return "trace";
        case LogLevel::debug: return "debug";
        case LogLevel::info: return "info";
        case LogLevel::notice: return "notice";
        case LogLevel::warning: return "warning";
        case LogLevel::error: return "error";
        case LogLevel::critical: return "critical";
    }
    return "critical";
}

std::optional<LogLevel> logLevelFromRawValue(std::string_view rawValue) noexcept {
    for (LogLevel level : allLogLevels) {
        if (toString(level) == rawValue) return level;
    }
    return std::nullopt;
}

std::optional<LogLevel> logLevelFromText(std::string_view text) noexcept {
    // No level name is longer than "critical"; longer text cannot match, and
    // this keeps the lower-cased copy on the stack.
    constexpr std::size_t longestName = 8;
    if (text.size() > longestName) return std::nullopt;
    // ASCII lower-casing is enough: no non-ASCII character lower-cases to a
    // letter of any level name.
    std::array<char, longestName> lowered{};
    for (std::size_t index = 0; index < text.size(); ++index) {
        char c = text[index];
        lowered[index] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return logLevelFromRawValue(std::string_view(lowered.data(), text.size()));
}

std::ostream& operator<<(std::ostream& out, LogLevel level) {
    return out << toString(level);
}

}  // namespace lumenary::logging
