#include "system/access_mode.hpp"

namespace lumenary::system {

std::string AccessMode::description() const {
    if (*this == readOnly) return "readOnly";
    if (*this == writeOnly) return "writeOnly";
    if (*this == readWrite) return "readWrite";
    return "AccessMode(rawValue: " + std::to_string(rawValue_) + ")";
}

}  // namespace lumenary::system
