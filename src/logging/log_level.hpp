#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string_view>

namespace lumenary::logging {

// The seven severities, lowest first. The built-in enum ordering is the
// severity ordering, so `level < LogLevel::warning` reads as it should.
enum class LogLevel : std::uint8_t {
    trace,
    debug,
    info,
    notice,
    warning,
    error,
    critical,
};

inline constexpr std::array<LogLevel, 7> allLogLevels{
    LogLevel::trace,   LogLevel::debug, LogLevel::info,     LogLevel::notice,
    LogLevel::warning, LogLevel::error, LogLevel::critical,
};

// The level's raw name in lower case ("trace" ... "critical").
std::string_view toString(LogLevel level) noexcept;

// Exact, case-sensitive match of a raw name; "WARNING" gives no level.
std::optional<LogLevel> logLevelFromRawValue(std::string_view rawValue) noexcept;

// Free text, matched after lower-casing: "WARNING" and "Warning" give warning.
std::optional<LogLevel> logLevelFromText(std::string_view text) noexcept;

std::ostream& operator<<(std::ostream& out, LogLevel level);

}  // namespace lumenary::logging
