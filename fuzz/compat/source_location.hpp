#pragma once

// Force-included in the fuzz build only. libstdc++ 12 builds
// std::source_location on a builtin that clang 14 lacks and then leaves it
// out; the older builtins clang 14 has give the same four facts.
#include <cstdint>
#include <source_location>

#if !defined(__cpp_lib_source_location)
namespace std {

struct source_location {
    static constexpr source_location current(const char* file = __builtin_FILE(),
                                             const char* function = __builtin_FUNCTION(),
                                             std::uint_least32_t line = __builtin_LINE(),
                                             std::uint_least32_t column = __builtin_COLUMN()) noexcept {
        source_location location;
        location.file_ = file;
        location.function_ = function;
        location.line_ = line;
        location.column_ = column;
        return location;
    }

    constexpr source_location() noexcept = default;
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr const char* function_name() const noexcept { return function_; }
    constexpr std::uint_least32_t line() const noexcept { return line_; }
    constexpr std::uint_least32_t column() const noexcept { return column_; }

private:
    const char* file_ = "";
    const char* function_ = "";
    std::uint_least32_t line_ = 0;
    std::uint_least32_t column_ = 0;
};

}  // namespace std
#endif
