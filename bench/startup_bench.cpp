// Start-up driver: from exec to the first answered ping, the way an MCP
// client launches the command with pipes. Two paths:
//   service: nothing serves on the configured port, so the process becomes
//            the full service and answers over its own standard output;
//   proxy:   an instance serves, so the process probes it, becomes the
//            relay and answers through it.
// Each run gets a fresh process; the figures are wall time and the child's
// CPU time (all its threads, from the kernel's scheduler accounting) up to
// the moment the answer is read.
//
// Usage: startup_bench [runs] [program]   (defaults: 200, lumenary beside it)
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

constexpr std::string_view ping = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";

void writeDefaults(const std::filesystem::path& folder, std::uint16_t port) {
    std::ofstream(folder / "defaults.json") << R"({"mcp_server_port":)" << port << "}";
}

struct Sample {
    double wallMilliseconds;
    double cpuMilliseconds;
};

// Starts the program, writes a ping and waits for its answer.
bool measureOnce(const std::string& program, const std::filesystem::path& errorFile, bool serviceStaysUp,
                 std::vector<Sample>& samples) {
    const auto start = Clock::now();
    testing::ChildProcess child({program}, -1, errorFile.string());
    child.writeLine(ping);
    const auto answer = child.readLine(std::chrono::seconds(10));
    const double wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const double cpu = bench::cpuSeconds(child.pid()) * 1e3;
    if (!answer || answer->find(R"("result":{})") == std::string::npos) {
        std::fprintf(stderr, "no answer to the ping (got: %s); its standard error:\n",
                     answer ? answer->c_str() : "nothing");
        std::ifstream errors(errorFile);
        std::fprintf(stderr, "%s\n", std::string(std::istreambuf_iterator<char>(errors), {}).c_str());
        return false;
    }
    samples.push_back({wall, cpu});
    if (serviceStaysUp) {
        child.signal(SIGTERM);
    } else {
        child.closeInput();
    }
    return child.waitForExit().has_value();
}

double percentile(std::vector<double> values, int percent) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * static_cast<std::size_t>(percent) / 100)];
}

void report(const char* path, const std::vector<Sample>& samples) {
    std::vector<double> wall;
    std::vector<double> cpu;
    for (const auto& sample : samples) {
        wall.push_back(sample.wallMilliseconds);
        cpu.push_back(sample.cpuMilliseconds);
    }
    std::printf(
        "start-up to the first answered ping, %s (%zu runs): median %.2f ms, p90 %.2f ms; "
        "CPU median %.2f ms, p90 %.2f ms\n",
        path, samples.size(), percentile(wall, 50), percentile(wall, 90), percentile(cpu, 50), percentile(cpu, 90));
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const std::string program = argc > 2 ? argv[2] : testing::siblingProgram("lumenary");
    const auto folder = std::filesystem::temp_directory_path() / ("startup-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    ::setenv("LUMENARY_CONFIG_DIR", folder.c_str(), 1);
    // The service alone is measured, never the panel.
    ::setenv("LUMENARY_NO_PANEL", "1", 1);
    int status = 0;

    // A few unmeasured runs first, so that the program and its libraries
    // are in the page cache.
    std::vector<Sample> service;
    for (int run = -5; run < runs && status == 0; ++run) {
        writeDefaults(folder, freePort());
        std::vector<Sample> sample;
        if (!measureOnce(program, folder / "service.err", true, sample)) status = 1;
        if (run >= 0) service.insert(service.end(), sample.begin(), sample.end());
    }
    if (status == 0) report("full service (nothing serving on the port)", service);

    if (status == 0) {
        const auto port = freePort();
        writeDefaults(folder, port);
        const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        testing::ChildProcess instance({program}, nothing, (folder / "instance.err").string());
        ::close(nothing);
        if (!waitUntilServing(port)) {
            std::fprintf(stderr, "the instance did not start\n");
            status = 1;
        }
        std::vector<Sample> proxy;
        for (int run = -5; run < runs && status == 0; ++run) {
            std::vector<Sample> sample;
            if (!measureOnce(program, folder / "proxy.err", false, sample)) status = 1;
            if (run >= 0) proxy.insert(proxy.end(), sample.begin(), sample.end());
        }
        instance.signal(SIGTERM);
        instance.waitForExit();
        if (status == 0) report("stdio proxy (an instance serving)", proxy);
    }
    std::filesystem::remove_all(folder);
    return status;
}
