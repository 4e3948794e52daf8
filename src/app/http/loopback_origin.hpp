#pragma once

#include <string_view>

namespace lumenary::http {

// The checks that keep web pages away from the endpoint. Only the host part
// counts, compared whole (ignoring case) with "localhost", "127.0.0.1" or
// "[::1]", with any port or none: "http://localhost.evil.example" is not the
// loopback host, and neither is a name that a page rebinds to 127.0.0.1.

// An "Origin" header value: scheme "://" host, then an optional ":" port.
bool isLoopbackOrigin(std::string_view origin);

// A "Host" header value: host, then an optional ":" port.
bool isLoopbackHost(std::string_view host);

}  // namespace lumenary::http
