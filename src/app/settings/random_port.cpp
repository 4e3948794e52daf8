#include "app/settings/random_port.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <random>
#include <string>

#include "system/owned_descriptor.hpp"

namespace lumenary::app {

namespace {

// Enough that a busy machine is very unlikely to exhaust it, few enough
// that the button answers at once.
constexpr int drawLimit = 64;

}  // namespace

bool isBindableOnLoopback(std::uint16_t port) {
    const system::OwnedDescriptor listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listener.isOpen()) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
}

std::uint16_t drawPortCandidate() {
    std::random_device source;
    std::uniform_int_distribution<unsigned> ports(lowestRandomPort, 65535);
    return static_cast<std::uint16_t>(ports(source));
}

platform::PlatformOutcome<std::uint16_t> drawFreePort(std::uint16_t current,
                                                      const std::function<std::uint16_t()>& candidates) {
    for (int draw = 0; draw < drawLimit; ++draw) {
        const std::uint16_t port = candidates();
        if (port >= lowestRandomPort && port != current && isBindableOnLoopback(port)) {
            return port;
        }
    }
    return platform::PlatformError{.domain = "RandomPort",
                                   .code = 0,
                                   .description = "no free port on 127.0.0.1 came up in " + std::to_string(drawLimit) +
                                                  " draws; the port stays " + std::to_string(current)};
}

}  // namespace lumenary::app
