#include "system/option_set.hpp"

namespace lumenary::system {

std::string describeOptionBits(std::uint64_t rawValue, std::span<const NamedOptionMask> masks,
                               std::string_view typeName) {
    std::string text = "[";
    std::uint64_t rest = rawValue;
    for (const NamedOptionMask& named : masks) {
        if ((rest & named.mask) != named.mask) {
            continue;
        }
        text.append(named.name);
        rest &= ~named.mask;
        if (rest != 0) {
            text.append(", ");
        }
    }
    if (rest != 0) {
        text.append(typeName).append("(rawValue: ").append(std::to_string(rest)).append(")");
    }
    text.append("]");
    return text;
}

}  // namespace lumenary::system
