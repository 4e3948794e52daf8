#include "app/host/local_endpoint.hpp"

#include <limits>

#include "logging/console.hpp"

namespace lumenary::app {

std::uint16_t configuredServerPort(const platform::DefaultsStore& defaults) {
    const std::int64_t stored = defaults.integer(serverPortDefaultsKey);
    if (stored < 1) {
        return defaultServerPort;
    }
    if (stored > std::numeric_limits<std::uint16_t>::max()) {
        logging::Console::standardError("[Lumenary] ")
            .print("The stored ", serverPortDefaultsKey, " ", std::to_string(stored),
                   " is not a port number (1-65535); using ", std::to_string(defaultServerPort), " instead");
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
