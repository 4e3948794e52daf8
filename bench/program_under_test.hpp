#pragma once

// What the benchmarks that start the real program share: a port for it, a
// wait until it serves, and the CPU time its threads have used.

#include <dirent.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "support/raw_connection.hpp"

namespace lumenary::bench {

// A loopback port that was free a moment ago.
inline std::uint16_t freePort() {
    asio::io_context context;
    asio::ip::tcp::acceptor acceptor(context, {asio::ip::make_address("127.0.0.1"), 0});
    return acceptor.local_endpoint().port();
}

// True once the program answers on `port`, false after 15 s.
inline bool waitUntilServing(std::uint16_t port) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (testing::parseResponse(testing::exchange(port, "OPTIONS /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")).status !=
           204) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Seconds on a CPU summed over every thread the process has now.
inline double cpuSeconds(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* directory = ::opendir(tasks.c_str());
    if (directory == nullptr) return 0;
    unsigned long long total = 0;
    while (const dirent* entry = ::readdir(directory)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
        unsigned long long onCPU = 0;
        if (stat >> onCPU) total += onCPU;
    }
    ::closedir(directory);
    return static_cast<double>(total) / 1e9;
}

}  // namespace lumenary::bench
