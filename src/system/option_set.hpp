#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace lumenary::system {

// A set of flag bits over a raw integer, shared by the permission bits and the
// open options. `Derived` names the concrete set, so every operation answers
// in that type; any raw value is accepted, unnamed bits included.
template <typename Derived, typename Raw>
class OptionSet {
public:
    using RawValue = Raw;

    constexpr OptionSet() noexcept = default;
    constexpr explicit OptionSet(Raw rawValue) noexcept : rawValue_(rawValue) {}
    // The union of the members listed; none gives the empty set.
    constexpr OptionSet(std::initializer_list<Derived> members) noexcept {
        for (const Derived member : members) {
            rawValue_ = static_cast<Raw>(rawValue_ | member.rawValue());
        }
    }

    constexpr Raw rawValue() const noexcept { return rawValue_; }
    constexpr bool isEmpty() const noexcept { return rawValue_ == 0; }

    constexpr Derived unionWith(Derived other) const noexcept { return make(rawValue_ | other.rawValue()); }
    constexpr Derived intersection(Derived other) const noexcept { return make(rawValue_ & other.rawValue()); }
    constexpr Derived symmetricDifference(Derived other) const noexcept { return make(rawValue_ ^ other.rawValue()); }
    constexpr Derived subtracting(Derived other) const noexcept { return make(rawValue_ & ~other.rawValue()); }

    constexpr void formUnion(Derived other) noexcept { rawValue_ = unionWith(other).rawValue(); }
    constexpr void formIntersection(Derived other) noexcept { rawValue_ = intersection(other).rawValue(); }
    constexpr void formSymmetricDifference(Derived other) noexcept {
        rawValue_ = symmetricDifference(other).rawValue();
    }
    constexpr void subtract(Derived other) noexcept { rawValue_ = subtracting(other).rawValue(); }

    // Every bit of `member` is present.
    constexpr bool contains(Derived member) const noexcept {
        return (rawValue_ & member.rawValue()) == member.rawValue();
    }
    constexpr bool isSubset(Derived other) const noexcept { return (rawValue_ & ~other.rawValue()) == 0; }
    constexpr bool isSuperset(Derived other) const noexcept { return contains(other); }
    constexpr bool isDisjoint(Derived other) const noexcept { return (rawValue_ & other.rawValue()) == 0; }

    // (false, member) and no change when every bit was present; else adds them.
    constexpr std::pair<bool, Derived> insert(Derived member) noexcept {
        if (contains(member)) {
            return {false, member};
        }
        formUnion(member);
        return {true, member};
    }
    // Removes and returns the bits common to both; absent when there are none.
    constexpr std::optional<Derived> remove(Derived member) noexcept {
        const Derived common = intersection(member);
        if (common.isEmpty()) {
            return std::nullopt;
        }
        subtract(member);
        return common;
    }
    // Adds the bits; returns those that were already present, absent when none.
    constexpr std::optional<Derived> update(Derived member) noexcept {
        const Derived common = intersection(member);
        formUnion(member);
        if (common.isEmpty()) {
            return std::nullopt;
        }
        return common;
    }

    friend constexpr Derived operator|(Derived left, Derived right) noexcept { return left.unionWith(right); }
    friend constexpr Derived operator&(Derived left, Derived right) noexcept { return left.intersection(right); }
    friend constexpr Derived operator^(Derived left, Derived right) noexcept {
        return left.symmetricDifference(right);
    }
    friend constexpr bool operator==(const OptionSet&, const OptionSet&) noexcept = default;

private:
    template <typename Integer>
    static constexpr Derived make(Integer bits) noexcept {
        return Derived(static_cast<Raw>(bits));
    }

    Raw rawValue_ = 0;
};

// One named mask of a set's description, as ".name".
struct NamedOptionMask {
    std::uint64_t mask;
    std::string_view name;
};

// "[.first, .second, Type(rawValue: leftover)]": the masks are tried in the
// order given, each naming the bits it consumes, so a bit taken by a wider
// mask is not named again; only the bits no mask took are shown as a number.
std::string describeOptionBits(std::uint64_t rawValue, std::span<const NamedOptionMask> masks,
                               std::string_view typeName);

}  // namespace lumenary::system
