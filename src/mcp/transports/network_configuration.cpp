#include "mcp/transports/network_configuration.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "mcp/core/mcp_error.hpp"
#include "system/hasher.hpp"

namespace lumenary::mcp {

namespace {

constexpr std::size_t largestReadBuffer = 64 * 1024;

std::uint64_t bitsOf(double number) noexcept {
    // Equal numbers hash alike: 0.0 and -0.0 are one number.
    if (number == 0.0) {
        number = 0.0;
    }
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof number);
    std::memcpy(&bits, &number, sizeof bits);
    return bits;
}

}  // namespace

NetworkHeartbeatConfiguration::NetworkHeartbeatConfiguration(bool isEnabled, double seconds)
    : enabled(isEnabled), interval(seconds) {
    if (!std::isfinite(interval) || interval <= 0.0) {
        throw MCPError::invalidParams("heartbeat interval must be a finite number of seconds above zero, not " +
                                      std::to_string(interval));
    }
}

const NetworkHeartbeatConfiguration NetworkHeartbeatConfiguration::defaultConfiguration(true, 15.0);
const NetworkHeartbeatConfiguration NetworkHeartbeatConfiguration::disabled(false, 15.0);

std::chrono::steady_clock::duration NetworkHeartbeatConfiguration::intervalDuration() const {
    // Past a year the interval may as well be a year; the clock's count
    // would overflow long before a double runs out.
    constexpr double longest = 365.0 * 24 * 3600;
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::min(interval, longest)));
}

std::size_t NetworkHeartbeatConfiguration::hash() const noexcept {
    system::Hasher hasher;
    hasher.combine(static_cast<std::uint64_t>(enabled));
    hasher.combine(bitsOf(interval));
    return hasher.finalize();
}

const NetworkReconnectionConfiguration NetworkReconnectionConfiguration::defaultConfiguration(true, 5, 1.5);
const NetworkReconnectionConfiguration NetworkReconnectionConfiguration::disabled(false, 5, 1.5);

double NetworkReconnectionConfiguration::backoffDelay(std::int64_t attempt) const noexcept {
    const double delay = shortestBackoffDelay * std::pow(backoffMultiplier, static_cast<double>(attempt - 1));
    // Written so that a NaN falls to the shortest delay.
    if (!(delay >= shortestBackoffDelay)) {
        return shortestBackoffDelay;
    }
    return delay > longestBackoffDelay ? longestBackoffDelay : delay;
}

std::chrono::steady_clock::duration NetworkReconnectionConfiguration::backoffDuration(std::int64_t attempt) const {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(backoffDelay(attempt)));
}

std::size_t NetworkReconnectionConfiguration::hash() const noexcept {
    system::Hasher hasher;
    hasher.combine(static_cast<std::uint64_t>(enabled));
    hasher.combine(static_cast<std::uint64_t>(maxAttempts));
    hasher.combine(bitsOf(backoffMultiplier));
    return hasher.finalize();
}

NetworkBufferConfiguration::NetworkBufferConfiguration(std::optional<std::int64_t> size)
    : maxReceiveBufferSize(size) {
    if (maxReceiveBufferSize && *maxReceiveBufferSize < 1) {
        throw MCPError::invalidParams("maximum receive buffer size must be at least 1 byte, not " +
                                      std::to_string(*maxReceiveBufferSize));
    }
}

const NetworkBufferConfiguration NetworkBufferConfiguration::defaultConfiguration(10 * 1024 * 1024);
const NetworkBufferConfiguration NetworkBufferConfiguration::unlimited(std::nullopt);

std::size_t NetworkBufferConfiguration::readBufferSize() const noexcept {
    if (maxReceiveBufferSize && static_cast<std::uint64_t>(*maxReceiveBufferSize) < largestReadBuffer) {
        return static_cast<std::size_t>(*maxReceiveBufferSize);
    }
    return largestReadBuffer;
}

std::size_t NetworkBufferConfiguration::hash() const noexcept {
    system::Hasher hasher;
    hasher.combine(static_cast<std::uint64_t>(maxReceiveBufferSize.has_value()));
    if (maxReceiveBufferSize) {
        hasher.combine(static_cast<std::uint64_t>(*maxReceiveBufferSize));
    }
    return hasher.finalize();
}

}  // namespace lumenary::mcp
