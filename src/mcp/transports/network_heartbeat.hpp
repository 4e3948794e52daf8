#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lumenary::mcp {

// The 12-byte record a network peer sends to show it is alive: the magic
// F0 9F 92 93 (U+1F493 in UTF-8), then the milliseconds since 2001-01-01
// 00:00:00 UTC as an unsigned 64-bit little-endian count. No 0x0A follows
// it on the wire.
//
// The time is kept as seconds since that reference date in a double, so a
// parsed count does not always encode back to itself (1001 ms reads as
// 1.001 s, which encodes as 1000). Two heartbeats are equal when their
// encodings are, that is within the same millisecond.
class NetworkHeartbeat {
public:
    static constexpr std::size_t size = 12;
    static constexpr std::array<unsigned char, 4> magic{0xF0, 0x9F, 0x92, 0x93};
    // The reference date in seconds since the Unix epoch.
    static constexpr std::int64_t referenceDateUnixSeconds = 978'307'200;

    using Timestamp = std::chrono::duration<double>;  // since the reference date

    explicit NetworkHeartbeat(Timestamp sinceReferenceDate) noexcept : timestamp_(sinceReferenceDate) {}
    // A heartbeat of the current time.
    static NetworkHeartbeat now();

    // A heartbeat record's first 12 bytes; absent for fewer bytes or
    // another magic. Bytes past the 12th are ignored.
    static std::optional<NetworkHeartbeat> fromRawValue(std::span<const unsigned char> bytes) noexcept;
    static std::optional<NetworkHeartbeat> from(std::string_view data) noexcept;
    // True when the bytes begin with the magic, whatever follows.
    static bool isHeartbeat(std::string_view data) noexcept;

    Timestamp timestamp() const noexcept { return timestamp_; }
    // A time before the reference date, or not a number, counts as 0 ms; one
    // past the 64-bit range as the largest count.
    std::uint64_t milliseconds() const noexcept;
    std::array<unsigned char, size> rawValue() const noexcept;
    // The same bytes, as they go on the wire.
    std::string data() const;
    // "2001-01-01 00:00:01 +0000", in UTC, whole seconds.
    std::string dateText() const;

    friend bool operator==(const NetworkHeartbeat& left, const NetworkHeartbeat& right) noexcept {
        return left.rawValue() == right.rawValue();
    }
    // The encoding's byte count, then each byte in order.
    std::size_t hash() const noexcept;

private:
    Timestamp timestamp_;
};

}  // namespace lumenary::mcp

template <>
struct std::hash<lumenary::mcp::NetworkHeartbeat> {
    std::size_t operator()(const lumenary::mcp::NetworkHeartbeat& heartbeat) const noexcept {
        return heartbeat.hash();
    }
};
