#include "app/host/local_endpoint.hpp"

#include <cstdio>
#include <limits>

namespace lumenary::app {

std::uint16_t configuredServerPort(const platform::DefaultsStore& defaults) {
    const std::int64_t stored = defaults.integer(serverPortDefaultsKey);
    if (stored < 1) {
        return defaultServerPort;
    }
    if (stored > std::numeric_limits<std::uint16_t>::max()) {
        std::fprintf(stderr, "[Lumenary] The stored %.*s %lld is not a port number (1-65535); using %u instead\n",
                     static_cast<int>(serverPortDefaultsKey.size()), serverPortDefaultsKey.data(),
                     static_cast<long long>(stored), static_cast<unsigned>(defaultServerPort));
        return defaultServerPort;
    }
    return static_cast<std::uint16_t>(stored);
}

std::string localEndpointURL(std::uint16_t port, std::string_view path) {
    std::string url = "http://";
    url += loopbackHost;
    url += ':';
    url += std::to_string(port);
    url += path;
    return url;
}

}  // namespace lumenary::app
