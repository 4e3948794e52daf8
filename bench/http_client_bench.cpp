// Our client over the Streamable-HTTP client transport against the test
// peer: lock-step pings and echo tool calls, calls per second, median and
// p99; in the same run the public TypeScript SDK's client doing the same
// (skipped without node).
//
//   http_client_bench [calls]
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include "mcp/client/client.hpp"
#include "mcp/http_transport/http_client_transport.hpp"
#include "support/child_process.hpp"

using namespace lumenary;
using namespace lumenary::mcp;
using Clock = std::chrono::steady_clock;

namespace {

struct Figures {
    double callsPerSecond;
    double medianMicroseconds;
    double p99Microseconds;
};

void print(const char* who, const char* kind, const Figures& figures) {
    std::printf("%-10s %-5s %9.0f calls/s   median %7.0f us   p99 %7.0f us\n", who, kind, figures.callsPerSecond,
                figures.medianMicroseconds, figures.p99Microseconds);
}

Figures figuresOf(std::vector<double> durations, double seconds) {
    std::sort(durations.begin(), durations.end());
    const auto at = [&](double fraction) {
        return durations[std::min(durations.size() - 1, static_cast<std::size_t>(fraction * durations.size()))];
    };
    return {static_cast<double>(durations.size()) / seconds, at(0.5), at(0.99)};
}

template <typename Call>
asio::awaitable<Figures> measure(int calls, Call call) {
    for (int index = 0; index < 200; ++index) co_await call();
    std::vector<double> durations;
    durations.reserve(static_cast<std::size_t>(calls));
    const auto started = Clock::now();
    for (int index = 0; index < calls; ++index) {
        const auto before = Clock::now();
        co_await call();
        durations.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
    }
    co_return figuresOf(std::move(durations), std::chrono::duration<double>(Clock::now() - started).count());
}

void runOurs(const std::string& serverPath, int calls) {
    lumenary::testing::ChildProcess server({serverPath, "--quiet"});
    const auto port = server.readLine();
    if (!port) {
        std::printf("ours: the test peer printed no port\n");
        return;
    }
    asio::io_context io;
    auto work = asio::make_work_guard(io);
    std::thread thread([&io] { io.run(); });
    auto transport = HTTPClientTransport::create(io.get_executor(), "http://127.0.0.1:" + *port + "/mcp");
    auto client = Client::create(io.get_executor(), "bench", "1.0");
    auto run = [&]() -> asio::awaitable<void> {
        co_await client->connect(transport);
        print("ours", "ping", co_await measure(calls, [&]() { return client->ping(); }));
        print("ours", "echo", co_await measure(calls, [&]() -> asio::awaitable<void> {
                  std::map<std::string, Value> arguments{{"text", "hello"}, {"count", 3}};
                  co_await client->callTool("echo", std::move(arguments));
              }));
        co_await client->disconnect();
    };
    asio::co_spawn(io, run(), asio::use_future).get();
    work.reset();
    thread.join();
}

void runSDK(const std::string& serverPath, int calls) {
    // The SDK client warns about its own listeners many times over a long
    // run; the figures are what matters here.
    const std::string command = "NODE_NO_WARNINGS=1 '" + std::string(LUMENARY_SOURCE_DIR) + "/tests/interop/run_interop.sh' '" +
                                LUMENARY_SOURCE_DIR + "/bench/sdk_http_client_bench.mjs' '" + serverPath + "' '" +
                                LUMENARY_BINARY_DIR + "/interop' " + std::to_string(calls);
    FILE* output = ::popen(command.c_str(), "r");
    if (output == nullptr) {
        std::printf("sdk: could not start node\n");
        return;
    }
    char kind[16];
    Figures figures{};
    while (std::fscanf(output, "%15s %lf %lf %lf", kind, &figures.callsPerSecond, &figures.medianMicroseconds,
                       &figures.p99Microseconds) == 4) {
        print("sdk", kind, figures);
    }
    const int status = ::pclose(output);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        std::printf("sdk: skipped, node and npm are needed for the SDK client\n");
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("sdk: the SDK client failed\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::atoi(argv[1]) : 3000;
    const std::string serverPath = lumenary::testing::siblingProgram("http_test_server");
    std::printf("Lock-step calls over Streamable HTTP against the test peer, %d of each kind\n", calls);
    runOurs(serverPath, calls);
    runSDK(serverPath, calls);
    return 0;
}
