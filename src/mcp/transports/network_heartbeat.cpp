#include "mcp/transports/network_heartbeat.hpp"

#include <cstdio>
#include <ctime>
#include <limits>

#include "system/hasher.hpp"

namespace lumenary::mcp {

NetworkHeartbeat NetworkHeartbeat::now() {
    const auto sinceEpoch = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch());
    return NetworkHeartbeat(sinceEpoch - std::chrono::duration<double>(referenceDateUnixSeconds));
}

std::optional<NetworkHeartbeat> NetworkHeartbeat::fromRawValue(std::span<const unsigned char> bytes) noexcept {
    if (bytes.size() < size) {
        return std::nullopt;
    }
    for (std::size_t index = 0; index < magic.size(); ++index) {
        if (bytes[index] != magic[index]) {
            return std::nullopt;
        }
    }
    std::uint64_t count = 0;
    for (std::size_t index = size; index > magic.size(); --index) {
        count = (count << 8) | bytes[index - 1];
    }
    return NetworkHeartbeat(Timestamp(static_cast<double>(count) / 1000.0));
}

std::optional<NetworkHeartbeat> NetworkHeartbeat::from(std::string_view data) noexcept {
    return fromRawValue(std::span(reinterpret_cast<const unsigned char*>(data.data()), data.size()));
}

bool NetworkHeartbeat::isHeartbeat(std::string_view data) noexcept {
    if (data.size() < magic.size()) {
        return false;
    }
    for (std::size_t index = 0; index < magic.size(); ++index) {
        if (static_cast<unsigned char>(data[index]) != magic[index]) {
            return false;
        }
    }
    return true;
}

std::uint64_t NetworkHeartbeat::milliseconds() const noexcept {
    const double count = timestamp_.count() * 1000.0;
    // Converting a double outside the target's range is undefined, so the
    // edges are settled before the conversion.
    if (!(count >= 0.0)) {
        return 0;
    }
    if (count >= 18446744073709551616.0) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return static_cast<std::uint64_t>(count);
}

std::array<unsigned char, NetworkHeartbeat::size> NetworkHeartbeat::rawValue() const noexcept {
    std::array<unsigned char, size> bytes{};
    for (std::size_t index = 0; index < magic.size(); ++index) {
        bytes[index] = magic[index];
    }
    std::uint64_t count = milliseconds();
    for (std::size_t index = magic.size(); index < size; ++index) {
        bytes[index] = static_cast<unsigned char>(count & 0xFF);
        count >>= 8;
    }
    return bytes;
}

std::string NetworkHeartbeat::data() const {
    const auto bytes = rawValue();
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::string NetworkHeartbeat::dateText() const {
    const auto seconds = static_cast<std::time_t>(milliseconds() / 1000) + referenceDateUnixSeconds;
    std::tm parts{};
    if (::gmtime_r(&seconds, &parts) == nullptr) {
        return std::to_string(milliseconds()) + " ms after 2001-01-01 00:00:00 +0000";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d +0000", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::size_t NetworkHeartbeat::hash() const noexcept {
    system::Hasher hasher;
    const auto bytes = rawValue();
    hasher.combine(static_cast<std::uint64_t>(bytes.size()));
    for (unsigned char byte : bytes) {
        hasher.combine(static_cast<std::uint64_t>(byte));
    }
    return hasher.finalize();
}

}  // namespace lumenary::mcp
