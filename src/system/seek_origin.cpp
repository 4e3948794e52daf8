#include "system/seek_origin.hpp"

namespace lumenary::system {

std::string SeekOrigin::description() const {
    if (*this == start) return "start";
    if (*this == current) return "current";
    if (*this == end) return "end";
    if (*this == nextHole) return "nextHole";
    if (*this == nextData) return "nextData";
    return "SeekOrigin(rawValue: " + std::to_string(rawValue_) + ")";
}

}  // namespace lumenary::system
