#pragma once

// What the tests that start the real program share: a free loopback port, a
// check that an instance serves there, and a wait with a deadline.
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "support/raw_connection.hpp"

namespace lumenary::testing {

inline std::uint16_t freePort() {
    asio::io_context context;
    asio::ip::tcp::acceptor acceptor(context, {asio::ip::make_address("127.0.0.1"), 0});
    return acceptor.local_endpoint().port();
}

inline bool answersOptions(std::uint16_t port) {
    return parseResponse(exchange(port, "OPTIONS /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")).status == 204;
}

inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace lumenary::testing
