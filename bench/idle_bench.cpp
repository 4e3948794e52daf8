// Idle driver: how often the program's threads wake in the 30 s after its
// last request, with nothing streaming, counted by the kernel as voluntary
// context switches over all threads. The window opens once the work the
// request (and, with the panel, its first showing) set off has settled: a
// first second without a wake-up, whose wait is reported too. Two runs:
// headless, and with the panel shown on a private Xvfb display (skipped
// when none can start). Both should read 0.
//
// Usage: idle_bench [seconds] [program]   (defaults: 30, lumenary beside it)
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "support/child_process.hpp"
#include "support/desktop_session.hpp"
#include "program_under_test.hpp"
#include "support/raw_connection.hpp"
#include "support/temporary_directory.hpp"
#include "support/thread_wakeups.hpp"

using namespace lumenary;
using Clock = std::chrono::steady_clock;

namespace {

using bench::freePort;
using bench::waitUntilServing;

constexpr std::string_view initializeRequest =
    R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
    R"("capabilities":{},"clientInfo":{"name":"idle-bench","version":"1"}}})";

struct Idle {
    double settleSeconds = 0;
    long long wakeups = -1;
    std::string wakers;
};

// The wake-ups in `seconds` after one initialize request; -1 on failure.
Idle measure(const std::string& program, bool withPanel, int seconds) {
    testing::TemporaryDirectory folder;
    const auto port = freePort();
    std::ofstream(folder.path() / "defaults.json")
        << R"({"hasCompletedOnboarding":true,"mcp_server_port":)" << port << "}";
    ::setenv("LUMENARY_CONFIG_DIR", folder.path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder.path() / "data").c_str(), 1);
    if (withPanel) {
        ::unsetenv("LUMENARY_NO_PANEL");
    } else {
        ::setenv("LUMENARY_NO_PANEL", "1", 1);
    }
    testing::ChildProcess child({program}, -1, (folder.path() / "program.err").string());
    if (!waitUntilServing(port)) {
        std::fprintf(stderr, "the program never served on port %u\n", port);
        return {};
    }
    const auto reply = testing::parseResponse(testing::exchange(port, testing::postRequest(initializeRequest)));
    if (reply.status != 200) {
        std::fprintf(stderr, "initialize was answered with %d\n", reply.status);
        return {};
    }
    const auto answered = Clock::now();
    if (!testing::fallsAsleep(child.pid(), std::chrono::seconds(1), std::chrono::seconds(30))) {
        std::fprintf(stderr, "the program never went a second without waking\n");
    }
    Idle idle;
    idle.settleSeconds = std::chrono::duration<double>(Clock::now() - answered).count() - 1;
    const auto before = testing::threadSwitches(child.pid());
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = testing::threadSwitches(child.pid());
    child.signal(SIGTERM);
    static_cast<void>(child.waitForExit());
    if (!before.empty() && !after.empty()) {
        idle.wakeups = static_cast<long long>(testing::wakeupsBetween(before, after, &idle.wakers));
    }
    return idle;
}

void report(const char* run, int seconds, const Idle& idle) {
    std::printf("idle wake-ups in %d s after the last request, %s: %lld (settled %.1f s after the answer)%s%s\n",
                seconds, run, idle.wakeups, idle.settleSeconds, idle.wakers.empty() ? "" : "; woke: ",
                idle.wakers.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const std::string program = argc > 2 ? argv[2] : testing::siblingProgram("lumenary");

    const auto headless = measure(program, false, seconds);
    report("headless", seconds, headless);

    auto session = testing::DesktopSession::start();
    if (auto* reason = std::get_if<std::string>(&session)) {
        std::printf("idle wake-ups with the panel shown: skipped (%s)\n", reason->c_str());
        return headless.wakeups < 0 ? 1 : 0;
    }
    const auto shown = measure(program, true, seconds);
    report("panel shown", seconds, shown);
    return headless.wakeups < 0 || shown.wakeups < 0 ? 1 : 0;
}
