#pragma once

#include <fcntl.h>

#include <cstdint>
#include <string>

namespace lumenary::system {

// The access part of the open flags. Any raw value is kept.
class AccessMode {
public:
    constexpr explicit AccessMode(std::int32_t rawValue) noexcept : rawValue_(rawValue) {}
    constexpr std::int32_t rawValue() const noexcept { return rawValue_; }

    // "readOnly", "writeOnly", "readWrite", else "AccessMode(rawValue: N)".
    std::string description() const;
    std::string debugDescription() const { return description(); }

    friend constexpr bool operator==(AccessMode, AccessMode) noexcept = default;

    static const AccessMode readOnly;
    static const AccessMode writeOnly;
    static const AccessMode readWrite;

private:
    std::int32_t rawValue_;
};

inline constexpr AccessMode AccessMode::readOnly{O_RDONLY};
inline constexpr AccessMode AccessMode::writeOnly{O_WRONLY};
inline constexpr AccessMode AccessMode::readWrite{O_RDWR};

}  // namespace lumenary::system
