// Load driver: messages per second through the stdio proxy, lock-step. A
// serving lumenary instance runs on a free port; a second lumenary started
// with pipes finds it and relays: stdio in, HTTP to the instance, stdio out.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "support/child_process.hpp"
#include "support/raw_connection.hpp"

using namespace lumenary;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int rounds = 2'000;

std::uint16_t freePort() {
    asio::io_context context;
    asio::ip::tcp::acceptor acceptor(context, {asio::ip::make_address("127.0.0.1"), 0});
    return acceptor.local_endpoint().port();
}

}  // namespace

int main() {
    const auto folder = std::filesystem::temp_directory_path() / ("proxy-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto port = freePort();
    std::ofstream(folder / "defaults.json") << R"({"mcp_server_port":)" << port << "}";
    ::setenv("LUMENARY_CONFIG_DIR", folder.c_str(), 1);
    // The service alone is measured, never the panel.
    ::setenv("LUMENARY_NO_PANEL", "1", 1);

    const auto program = testing::siblingProgram("lumenary");
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    testing::ChildProcess instance({program}, nothing, (folder / "instance.err").string());
    ::close(nothing);
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (testing::parseResponse(testing::exchange(port, "OPTIONS /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")).status !=
           204) {
        if (Clock::now() > deadline) {
            std::fprintf(stderr, "the instance did not start\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    testing::ChildProcess proxy({program}, -1, (folder / "proxy.err").string());
    std::vector<double> microseconds;
    microseconds.reserve(rounds);
    const auto start = Clock::now();
    for (int round = 0; round < rounds; ++round) {
        const auto sent = Clock::now();
        proxy.writeLine(R"({"jsonrpc":"2.0","id":)" + std::to_string(round) + R"(,"method":"ping"})");
        if (!proxy.readLine()) {
            std::fprintf(stderr, "the proxy stopped answering at round %d\n", round);
            return 1;
        }
        microseconds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    }
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    proxy.closeInput();
    proxy.waitForExit();
    instance.signal(SIGTERM);
    instance.waitForExit();
    std::filesystem::remove_all(folder);

    std::sort(microseconds.begin(), microseconds.end());
    std::printf("stdio proxy, lock-step ping: %.0f messages/s, median %.0f us, p99 %.0f us\n", rounds / elapsed.count(),
                microseconds[microseconds.size() / 2], microseconds[microseconds.size() * 99 / 100]);
    return 0;
}
