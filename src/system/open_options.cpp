#include "system/open_options.hpp"

#include <array>

namespace lumenary::system {

namespace {

// The order the description names them in; `directory` is left to the
// leftover number.
const std::array<NamedOptionMask, 7> openOptionMasks{{
    {static_cast<std::uint32_t>(O_NONBLOCK), ".nonBlocking"},
    {static_cast<std::uint32_t>(O_APPEND), ".append"},
    {static_cast<std::uint32_t>(O_CREAT), ".create"},
    {static_cast<std::uint32_t>(O_TRUNC), ".truncate"},
    {static_cast<std::uint32_t>(O_EXCL), ".exclusiveCreate"},
    {static_cast<std::uint32_t>(O_NOFOLLOW), ".noFollow"},
    {static_cast<std::uint32_t>(O_CLOEXEC), ".closeOnExec"},
}};

}  // namespace

std::string OpenOptions::description() const {
    // The bits as an unsigned number, so a set top bit reads as a bit, not a sign.
    return describeOptionBits(static_cast<std::uint32_t>(rawValue()), openOptionMasks, "OpenOptions");
}

}  // namespace lumenary::system
