#pragma once

#include <chrono>
#include <string>

#include "platform/defaults_store.hpp"
#include "platform/http_client.hpp"

namespace lumenary::app {

// The start-up probe may take 0.5 s without an answer and 1.0 s in all: a
// client waits for the process while it decides.
inline constexpr platform::HTTPClientTimeouts probeTimeouts{std::chrono::milliseconds(500),
                                                            std::chrono::milliseconds(1000)};

// True when "OPTIONS" on `url` is answered with 200 or 204 within
// `timeouts`. A refused connection, a slower answer or any other status is
// false, and nothing is written anywhere.
bool answersAsServing(platform::HTTPClient& client, const std::string& url, platform::HTTPClientTimeouts timeouts);

// True when an instance serves MCP on the configured port.
bool probeLocalServer(const platform::DefaultsStore& defaults);

}  // namespace lumenary::app
