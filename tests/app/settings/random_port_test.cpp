#include "app/settings/random_port.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <set>

#include "system/owned_descriptor.hpp"

namespace lumenary::app {
namespace {

// A listener on 127.0.0.1 holding a port the system picks from the dice's
// range.
struct BusyPort {
    system::OwnedDescriptor listener;
    std::uint16_t port = 0;

    BusyPort() {
        for (std::uint16_t candidate = 40000; port == 0; ++candidate) {
            listener.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(candidate);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
                ::listen(listener.get(), 1) == 0) {
                port = candidate;
            }
        }
    }
};

TEST(RandomPort, NeverDrawsTheCurrentPortABusyOneOrOneBelow1024) {
    const BusyPort busy;
    const std::uint16_t current = 8765;
    // Most candidates are ones the dice must pass over.
    int call = 0;
    const auto candidates = [&] {
        switch (call++ % 5) {
            case 0: return busy.port;
            case 1: return current;
            case 2: return static_cast<std::uint16_t>(80);
            case 3: return busy.port;
            default: return drawPortCandidate();
        }
    };
    std::set<std::uint16_t> seen;
    for (int draw = 0; draw < 1000; ++draw) {
        const auto port = drawFreePort(current, candidates);
        ASSERT_TRUE(port) << port.error().description;
        EXPECT_GE(port.value(), 1024);
        EXPECT_NE(port.value(), current);
        EXPECT_NE(port.value(), busy.port);
        seen.insert(port.value());
    }
    EXPECT_GT(seen.size(), 900u) << "the draws are spread over the range";

    for (int draw = 0; draw < 1000; ++draw) {
        const auto port = drawPortCandidate();
        ASSERT_GE(port, 1024);
    }
}

TEST(RandomPort, OnlyBusyCandidatesEndInAnErrorNamingTheKeptPort) {
    const BusyPort busy;
    const auto port = drawFreePort(8765, [&] { return busy.port; });
    ASSERT_FALSE(port);
    EXPECT_EQ(port.error().domain, "RandomPort");
    EXPECT_NE(port.error().description.find("8765"), std::string::npos) << port.error().description;
    EXPECT_FALSE(isBindableOnLoopback(busy.port));
}

}  // namespace
}  // namespace lumenary::app
