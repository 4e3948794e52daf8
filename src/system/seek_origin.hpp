#pragma once

#include <unistd.h>

#include <cstdint>
#include <string>

namespace lumenary::system {

// The `whence` of a seek. Any raw value is kept.
class SeekOrigin {
public:
    constexpr explicit SeekOrigin(std::int32_t rawValue) noexcept : rawValue_(rawValue) {}
    constexpr std::int32_t rawValue() const noexcept { return rawValue_; }

    // "start", "current", "end", "nextHole", "nextData", else
    // "SeekOrigin(rawValue: N)".
    std::string description() const;
    std::string debugDescription() const { return description(); }

    friend constexpr bool operator==(SeekOrigin, SeekOrigin) noexcept = default;

    static const SeekOrigin start;
    static const SeekOrigin current;
    static const SeekOrigin end;
    // A file system that keeps no holes answers with the end of the file;
    // seeking for data past the last data fails with ENXIO.
    static const SeekOrigin nextHole;
    static const SeekOrigin nextData;

private:
    std::int32_t rawValue_;
};

inline constexpr SeekOrigin SeekOrigin::start{SEEK_SET};
inline constexpr SeekOrigin SeekOrigin::current{SEEK_CUR};
inline constexpr SeekOrigin SeekOrigin::end{SEEK_END};
inline constexpr SeekOrigin SeekOrigin::nextHole{SEEK_HOLE};
inline constexpr SeekOrigin SeekOrigin::nextData{SEEK_DATA};

}  // namespace lumenary::system
