#pragma once

#include <compare>
#include <optional>
#include <string>

#include "mcp/core/decoder.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// A double within 0...1 (both ends included): the weights and priorities of
// the protocol. No way of making one skips the range check.
class UnitInterval {
public:
    // Constants written in code. An out-of-range constant does not compile;
    // values from outside come through `make` or decoding instead.
    consteval UnitInterval(double literal) : value_(literal) {
        if (!inRange(literal)) {
            throw "a UnitInterval constant must lie within 0...1";
        }
    }
    consteval UnitInterval(int literal) : value_(literal) {
        if (literal != 0 && literal != 1) {
            throw "a UnitInterval integer constant must be 0 or 1";
        }
    }

    // Absent outside 0...1, NaN included; -0.0 counts as 0.
    static constexpr std::optional<UnitInterval> make(double number) noexcept {
        if (!inRange(number)) {
            return std::nullopt;
        }
        return UnitInterval(number, Checked{});
    }

    constexpr double doubleValue() const noexcept { return value_; }
    std::string description() const { return doubleText(value_); }

    // NaN never gets in, so the double order is total here.
    friend constexpr bool operator==(const UnitInterval&, const UnitInterval&) = default;
    friend constexpr std::partial_ordering operator<=>(const UnitInterval&, const UnitInterval&) = default;

private:
    struct Checked {};
    constexpr UnitInterval(double number, Checked) noexcept : value_(number) {}
    static constexpr bool inRange(double number) noexcept { return number >= 0.0 && number <= 1.0; }

    double value_;
};

template <>
struct Coder<UnitInterval> {
    static Value encode(const UnitInterval& interval) { return interval.doubleValue(); }
    static UnitInterval decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp
