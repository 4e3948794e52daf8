#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/defaults/defaults_store.hpp"

namespace lumenary::app {

// Every URL of the program names this host: the endpoint listens on the
// loopback interface, and the probe, the proxy and the published endpoint
// URLs must agree on it.
inline constexpr std::string_view loopbackHost = "127.0.0.1";
inline constexpr std::uint16_t defaultServerPort = 8765;
inline constexpr std::string_view serverPortDefaultsKey = "mcp_server_port";

// The port stored under "mcp_server_port". Absent, zero or negative means
// the default; a value above 65535 is no port either, so it falls back to
// the default too and says so on standard error.
std::uint16_t configuredServerPort(const platform::DefaultsStore& defaults);

// "http://127.0.0.1:<port><path>".
std::string localEndpointURL(std::uint16_t port, std::string_view path = "/mcp");

}  // namespace lumenary::app
