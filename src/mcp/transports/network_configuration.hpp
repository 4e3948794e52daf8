#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

// The values that tune a network transport. Plain values, copied freely;
// each constructor refuses numbers the transport could not run with.
namespace lumenary::mcp {

// Whether heartbeats are sent while connected, and the pause between the end
// of one heartbeat's write and the start of the next.
struct NetworkHeartbeatConfiguration {
    // Throws MCPError::invalidParams unless the interval is a finite number
    // of seconds above zero: zero or less would be a heartbeat storm, and a
    // NaN or infinity cannot become a duration.
    NetworkHeartbeatConfiguration(bool isEnabled, double seconds);

    static const NetworkHeartbeatConfiguration defaultConfiguration;  // enabled, every 15 s
    static const NetworkHeartbeatConfiguration disabled;              // not enabled, 15 s

    std::chrono::steady_clock::duration intervalDuration() const;

    bool enabled;
    double interval;  // seconds

    friend bool operator==(const NetworkHeartbeatConfiguration&, const NetworkHeartbeatConfiguration&) = default;
    std::size_t hash() const noexcept;
};

// Whether a failed or lost connection is tried again, how many times in one
// outage, and how the pause before each try grows.
struct NetworkReconnectionConfiguration {
    NetworkReconnectionConfiguration(bool isEnabled, std::int64_t attempts, double multiplier)
        : enabled(isEnabled), maxAttempts(attempts), backoffMultiplier(multiplier) {}

    static const NetworkReconnectionConfiguration defaultConfiguration;  // enabled, 5 tries, x1.5
    static const NetworkReconnectionConfiguration disabled;              // not enabled, 5 tries, x1.5

    static constexpr double shortestBackoffDelay = 0.5;  // seconds
    static constexpr double longestBackoffDelay = 30.0;

    // The pause before try n (1 for the first): 0.5 x backoffMultiplier^(n-1)
    // seconds, held between 0.5 and 30 s whatever the multiplier and n.
    double backoffDelay(std::int64_t attempt) const noexcept;
    std::chrono::steady_clock::duration backoffDuration(std::int64_t attempt) const;

    bool enabled;
    std::int64_t maxAttempts;
    double backoffMultiplier;

    friend bool operator==(const NetworkReconnectionConfiguration&,
                           const NetworkReconnectionConfiguration&) = default;
    std::size_t hash() const noexcept;
};

// The most bytes one read from the connection may return; absent means the
// transport picks (it reads into a buffer of its own size either way).
struct NetworkBufferConfiguration {
    // Throws MCPError::invalidParams for a size below 1.
    explicit NetworkBufferConfiguration(std::optional<std::int64_t> size);

    static const NetworkBufferConfiguration defaultConfiguration;  // 10,485,760 bytes
    static const NetworkBufferConfiguration unlimited;             // absent

    // The size of the buffer each read fills: 64 KiB, or less when
    // configured so.
    std::size_t readBufferSize() const noexcept;

    std::optional<std::int64_t> maxReceiveBufferSize;

    friend bool operator==(const NetworkBufferConfiguration&, const NetworkBufferConfiguration&) = default;
    std::size_t hash() const noexcept;
};

}  // namespace lumenary::mcp
