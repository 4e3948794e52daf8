#pragma once

#include <compare>
#include <cstdint>
#include <functional>

namespace lumenary::system {

// One platform character: a byte of a path, UTF-8 here but not necessarily
// valid. Ordered as a signed byte, as the platform's C character is, so 0x80
// and above sort before every ASCII character.
class SystemChar {
public:
    constexpr SystemChar() noexcept = default;
    constexpr explicit SystemChar(std::int8_t rawValue) noexcept : rawValue_(rawValue) {}
    // From a byte of text, keeping its bits.
    static constexpr SystemChar fromByte(char byte) noexcept { return SystemChar(static_cast<std::int8_t>(byte)); }

    constexpr std::int8_t rawValue() const noexcept { return rawValue_; }
    constexpr char byte() const noexcept { return static_cast<char>(rawValue_); }
    constexpr bool isNUL() const noexcept { return rawValue_ == 0; }

    friend constexpr auto operator<=>(SystemChar, SystemChar) noexcept = default;

private:
    std::int8_t rawValue_ = 0;
};

static_assert(sizeof(SystemChar) == 1, "a path's storage is lent to the C library as its characters");

}  // namespace lumenary::system

template <>
struct std::hash<lumenary::system::SystemChar> {
    std::size_t operator()(lumenary::system::SystemChar value) const noexcept {
        return std::hash<std::int8_t>{}(value.rawValue());
    }
};
