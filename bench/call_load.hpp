#pragma once

// The "tools/call" load that client_bench and network_bench drive: our
// client on the main thread, lock-step (one call waits for the one before:
// calls per second and the median round trip) and with 64 callers in flight
// (calls per second).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/this_coro.hpp>

#include "async/one_shot.hpp"
#include "mcp/client/client.hpp"

namespace call_load {

using Clock = std::chrono::steady_clock;
using TransportMaker = std::function<std::shared_ptr<lumenary::mcp::Transport>(asio::any_io_executor)>;

inline constexpr int lockStepCalls = 20'000;
inline constexpr int concurrentCallerCount = 64;
inline constexpr int callsPerCaller = 500;

struct Figures {
    double lockStepCallsPerSecond = 0;
    double medianMicroseconds = 0;
    double p99Microseconds = 0;
    double concurrentCallsPerSecond = 0;
};

inline std::map<std::string, lumenary::mcp::Value> echoArguments() {
    return {{"query", "weather in Lisbon"}, {"limit", 5}, {"path", "/home/user/notes"}};
}

// Runs the operation on the client's io_context, on this thread, to its end.
// The transport's reads keep the io_context busy, so run() would not return.
inline void runOn(asio::io_context& io, asio::awaitable<void> operation) {
    bool done = false;
    asio::co_spawn(io, std::move(operation), [&](std::exception_ptr error) {
        if (error) {
            std::fprintf(stderr, "bench: %s\n", lumenary::mcp::localizedDescription(error).c_str());
            std::exit(1);
        }
        done = true;
    });
    while (!done) io.run_one();
}

inline asio::awaitable<void> lockStep(std::shared_ptr<lumenary::mcp::Client> client, std::vector<double>& roundTrips) {
    for (int call = 0; call < lockStepCalls; ++call) {
        const auto sent = Clock::now();
        co_await client->callTool("echo", echoArguments());
        roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    }
}

inline asio::awaitable<void> caller(std::shared_ptr<lumenary::mcp::Client> client) {
    for (int call = 0; call < callsPerCaller; ++call) {
        co_await client->callTool("echo", echoArguments());
    }
}

inline asio::awaitable<void> concurrentCallers(std::shared_ptr<lumenary::mcp::Client> client) {
    auto executor = co_await asio::this_coro::executor;
    auto remaining = std::make_shared<int>(concurrentCallerCount);
    lumenary::async::OneShot<void> allDone;
    for (int index = 0; index < concurrentCallerCount; ++index) {
        asio::co_spawn(executor, caller(client), [remaining, allDone](std::exception_ptr) {
            if (--*remaining == 0) allDone.resume();
        });
    }
    co_await allDone.wait();
}

// Connects a client through the transport, measures, prints one block of
// figures under `name` and returns them.
inline Figures measure(const char* name, const TransportMaker& makeClientEnd) {
    asio::io_context io;
    auto clientEnd = makeClientEnd(io.get_executor());
    auto client = lumenary::mcp::Client::create(io.get_executor(), "bench-client", "1.0");
    runOn(io, [](std::shared_ptr<lumenary::mcp::Client> self,
                 std::shared_ptr<lumenary::mcp::Transport> transport) -> asio::awaitable<void> {
        co_await self->connect(transport);
    }(client, clientEnd));

    Figures figures;
    std::vector<double> roundTrips;
    roundTrips.reserve(lockStepCalls);
    auto start = Clock::now();
    runOn(io, lockStep(client, roundTrips));
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(roundTrips.begin(), roundTrips.end());
    figures.lockStepCallsPerSecond = lockStepCalls / seconds;
    figures.medianMicroseconds = roundTrips[roundTrips.size() / 2];
    figures.p99Microseconds = roundTrips[roundTrips.size() * 99 / 100];
    std::printf("%-22s lock-step   %8.0f calls/s   round trip median %6.1f us, p99 %6.1f us\n", name,
                figures.lockStepCallsPerSecond, figures.medianMicroseconds, figures.p99Microseconds);

    start = Clock::now();
    runOn(io, concurrentCallers(client));
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures.concurrentCallsPerSecond = concurrentCallerCount * callsPerCaller / seconds;
    std::printf("%-22s %d in flight %8.0f calls/s\n", name, concurrentCallerCount, figures.concurrentCallsPerSecond);

    runOn(io, client->disconnect());
    return figures;
}

}  // namespace call_load
