// The HTTP endpoint of the real program under wrk: pings with a session,
// one request per connection, the figure of record for the endpoint. Two
// loads, each on a fresh program:
//   one client:   one session, 16 connections (wrk -t4 -c16);
//   many clients: 16 sessions, 64 connections (wrk -t4 -c64), each request
//                 naming the next session in turn.
// Where the machine has 8 CPUs, the program runs on the first four and wrk
// on the next four. The figures are wrk's requests per second and 99th
// percentile latency, and the program's CPU time per request (all its
// threads, from the kernel's scheduler accounting), and the client ports
// the run left in TIME_WAIT, where wrk closed before the program did: they
// slow the connects of every run in the next minute, whichever program it
// measures. The program's console goes to a file.
//
// Several programs (a build before a change and one after, say) are run in
// turn, round after round, so that the machine's noise falls on each alike.
//
// Skipped, with a line saying so, where wrk is not installed.
//
// Usage: http_wrk_bench [--seconds S] [--rounds N] [--log-bodies] [program...]
//   (defaults: 5 s, 3 rounds, lumenary beside it; --log-bodies has the
//   console show request and reply bodies, LUMENARY_LOG_BODIES=1)
#include <dirent.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "program_under_test.hpp"
#include "support/child_process.hpp"
#include "support/raw_connection.hpp"

using namespace lumenary;
using Clock = std::chrono::steady_clock;

namespace {

using bench::freePort;
using bench::waitUntilServing;
using bench::cpuSeconds;

struct Load {
    const char* name;
    int sessions;
    int connections;
};

constexpr Load loads[] = {{"one session, 16 connections", 1, 16}, {"16 sessions, 64 connections", 16, 64}};

bool onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const auto folder = rest.substr(0, colon);
        if (::access((std::filesystem::path(folder) / name).c_str(), X_OK) == 0) return true;
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    return false;
}

// The calling thread, and what it starts, runs on CPUs [first, first + count).
void runOn(int first, int count) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu = first; cpu < first + count; ++cpu) CPU_SET(static_cast<unsigned>(cpu), &set);
    sched_setaffinity(0, sizeof set, &set);
}

std::string post(std::uint16_t port, const std::string& sessionID, std::string_view body) {
    return "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nContent-Type: application/json\r\nAccept: application/json, text/event-stream\r\nMcp-Session-Id: " +
           sessionID + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

std::string sessionID(int number) {
    return "wrk-session-" + std::to_string(number);
}

bool initializeSessions(std::uint16_t port, int sessions) {
    for (int number = 0; number < sessions; ++number) {
        const auto initialized = testing::parseResponse(testing::exchange(
            port, post(port, sessionID(number),
                       R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
                       R"("capabilities":{},"clientInfo":{"name":"wrk","version":"1"}}})")));
        const auto notified = testing::parseResponse(testing::exchange(
            port, post(port, sessionID(number), R"({"jsonrpc":"2.0","method":"notifications/initialized"})")));
        if (initialized.status != 200 || notified.status != 202) return false;
    }
    return true;
}

// Each request a ping under an id of its own (ids waiting together must
// differ), naming the sessions in turn.
std::string wrkScript(std::uint16_t port, int sessions) {
    std::string ids;
    for (int number = 0; number < sessions; ++number) ids += "\"" + sessionID(number) + "\",";
    return "local ids = {" + ids +
           "}\n"
           "local next = 1\n"
           "function setup(thread) thread:set('tid', next); next = next + 1 end\n"
           "local n = 0\n"
           "function request()\n"
           "  n = n + 1\n"
           "  local body = '{\"jsonrpc\":\"2.0\",\"id\":' .. (tid * 1000000000 + n) .. ',\"method\":\"ping\"}'\n"
           "  return wrk.format('POST', '/mcp', {['Host'] = '127.0.0.1:" +
           std::to_string(port) +
           "', ['Content-Type'] = 'application/json',\n"
           "    ['Accept'] = 'application/json, text/event-stream', ['Mcp-Session-Id'] = ids[n % #ids + 1]}, body)\n"
           "end\n";
}

struct Figures {
    double requestsPerSecond = 0;
    double p99Milliseconds = 0;
    double cpuMicrosecondsPerRequest = 0;
    long failed = 0;
    long clientPortsInTimeWait = 0;
};

// Connections to `port` whose client side waits in TIME_WAIT: the client
// closed first. Each holds its port for a minute, and the client's every
// later connect, this run's and the next one's, searches past them.
long clientPortsInTimeWait(std::uint16_t port) {
    long count = 0;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream lines(table);
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line)) {
            char remote[64] = {};
            unsigned state = 0;
            if (std::sscanf(line.c_str(), "%*s %*s %63s %x", remote, &state) != 2 || state != 0x06) continue;
            const char* colon = std::strrchr(remote, ':');
            if (colon && std::strtoul(colon + 1, nullptr, 16) == port) ++count;
        }
    }
    return count;
}

// The value after `label` in wrk's output, as wrk writes it ("7.71ms",
// "1.20s", "850.00us", "25123.45").
double wrkValue(const std::string& output, const std::string& label) {
    const auto at = output.find(label);
    if (at == std::string::npos) return 0;
    const char* text = output.c_str() + at + label.size();
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    const std::string_view unit(end);
    if (unit.starts_with("us")) return value / 1000;
    if (unit.starts_with("ms")) return value;
    if (unit.starts_with("s")) return value * 1000;
    if (unit.starts_with("m")) return value * 60'000;
    return value;
}

std::optional<Figures> runLoad(const std::string& program, const Load& load, int seconds, bool pinned,
                               const std::filesystem::path& folder) {
    const auto port = freePort();
    std::ofstream(folder / "defaults.json") << R"({"mcp_server_port":)" << port << "}";
    if (pinned) runOn(0, 4);
    // Standard input stays open (a pipe), so the stdio server stays up too.
    testing::ChildProcess child({program}, -1, (folder / "console.txt").string());
    if (pinned) runOn(4, 4);
    if (!waitUntilServing(port) || !initializeSessions(port, load.sessions)) {
        std::fprintf(stderr, "%s did not serve; see %s\n", program.c_str(), (folder / "console.txt").c_str());
        return std::nullopt;
    }
    const auto script = folder / "ping.lua";
    std::ofstream(script) << wrkScript(port, load.sessions);
    const std::string command = "wrk -t4 -c" + std::to_string(load.connections) + " -d" + std::to_string(seconds) +
                                "s --latency -s " + script.string() + " http://127.0.0.1:" + std::to_string(port) +
                                "/mcp 2>&1";
    const double cpuBefore = cpuSeconds(child.pid());
    std::string output;
    if (FILE* wrk = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, wrk)) > 0;) output.append(buffer, read);
        ::pclose(wrk);
    }
    const double cpu = cpuSeconds(child.pid()) - cpuBefore;
    const long timeWaits = clientPortsInTimeWait(port);
    child.signal(SIGTERM);
    child.waitForExit();

    Figures figures;
    figures.requestsPerSecond = wrkValue(output, "Requests/sec:");
    // At a line's start: "69.99%" may stand in the thread statistics.
    figures.p99Milliseconds = wrkValue(output, "\n     99%");
    figures.failed = static_cast<long>(wrkValue(output, "Non-2xx or 3xx responses:"));
    figures.clientPortsInTimeWait = timeWaits;
    const double requests = figures.requestsPerSecond * seconds;
    if (requests <= 0) {
        std::fprintf(stderr, "wrk reported nothing:\n%s\n", output.c_str());
        return std::nullopt;
    }
    figures.cpuMicrosecondsPerRequest = cpu * 1e6 / requests;
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 5;
    int rounds = 3;
    std::vector<std::string> programs;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--seconds") == 0 && index + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++index]));
        } else if (std::strcmp(argv[index], "--rounds") == 0 && index + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++index]));
        } else if (std::strcmp(argv[index], "--log-bodies") == 0) {
            ::setenv("LUMENARY_LOG_BODIES", "1", 1);
        } else {
            programs.emplace_back(argv[index]);
        }
    }
    if (!onPath("wrk")) {
        std::printf("HTTP endpoint under wrk: skipped, wrk is not installed\n");
        return 0;
    }
    if (programs.empty()) programs.push_back(testing::siblingProgram("lumenary"));
    const bool pinned = std::thread::hardware_concurrency() >= 8;
    const auto folder = std::filesystem::temp_directory_path() / ("http-wrk-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    ::setenv("LUMENARY_CONFIG_DIR", folder.c_str(), 1);
    ::setenv("LUMENARY_NO_PANEL", "1", 1);

    std::printf("HTTP endpoint under wrk, pings with a session, one request per connection, %d s per run%s, console "
                "to a file%s\n",
                seconds, pinned ? ", program on CPUs 0-3 and wrk on 4-7" : "",
                std::getenv("LUMENARY_LOG_BODIES") ? " with bodies" : "");
    int status = 0;
    for (int round = 1; round <= rounds; ++round) {
        for (const auto& load : loads) {
            for (const auto& program : programs) {
                const auto figures = runLoad(program, load, seconds, pinned, folder);
                if (!figures) {
                    status = 1;
                    continue;
                }
                std::printf("round %d  %-28s %8.0f requests/s  p99 %6.2f ms  server CPU %6.1f us/request  %ld "
                            "failed  %ld client ports in TIME_WAIT  %s\n",
                            round, load.name, figures->requestsPerSecond, figures->p99Milliseconds,
                            figures->cpuMicrosecondsPerRequest, figures->failed, figures->clientPortsInTimeWait,
                            program.c_str());
                std::fflush(stdout);
            }
        }
    }
    std::filesystem::remove_all(folder);
    return status;
}
