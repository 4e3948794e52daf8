#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "http_client/http_client.hpp"
#include "platform/defaults/defaults_store.hpp"

namespace lumenary::app {

// The start-up probe may take 0.5 s without an answer and 1.0 s in all: a
// client waits for the process while it decides.
inline constexpr http_client::HTTPClientTimeouts probeTimeouts{std::chrono::milliseconds(500),
                                                            std::chrono::milliseconds(1000)};

// True when "OPTIONS /mcp" on the loopback host's `port` is answered with
// 200 or 204 within `timeouts`. A refused connection (known at once), a
// slower answer, a reply that is no HTTP response head or any other status
// is false, and nothing is written anywhere.
//
// It speaks over a plain socket rather than the HTTP client: every launch
// asks this once, and most never need the HTTP client's library at all.
bool answersAsServing(std::uint16_t port, http_client::HTTPClientTimeouts timeouts);

// Why a start could not take `port`, which something else holds: that a
// running Lumenary holds it, when one answers there, else `failure` as it
// was. Blocks for up to probeTimeouts.
std::string explainPortInUse(std::uint16_t port, std::string failure);

// True when an instance serves MCP on the configured port.
bool probeLocalServer(const platform::DefaultsStore& defaults);

}  // namespace lumenary::app
