#pragma once

#include <cstdint>
#include <functional>

#include "platform/platform_error.hpp"

namespace lumenary::app {

// The lowest port the dice draws: below it an ordinary user cannot listen.
inline constexpr std::uint16_t lowestRandomPort = 1024;

// Whether a TCP listener could take `port` on 127.0.0.1 at this moment.
bool isBindableOnLoopback(std::uint16_t port);

// A port from 1024 to 65535, drawn uniformly from the system's random source.
std::uint16_t drawPortCandidate();

// The dice of the settings page: a port other than `current` that can be
// bound on 127.0.0.1 now, taken from `candidates`. A few dozen draws that all
// miss end in a PlatformError (domain "RandomPort") instead of a port that
// would stop the service.
platform::PlatformOutcome<std::uint16_t> drawFreePort(
    std::uint16_t current, const std::function<std::uint16_t()>& candidates = drawPortCandidate);

}  // namespace lumenary::app
