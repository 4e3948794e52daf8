// Load driver for the Streamable-HTTP endpoint: many concurrent clients, each
// with a session of its own, POSTing "ping" and an echo "tools/call" to /mcp
// over a fresh loopback connection per request (the endpoint serves one
// request per connection). Prints, for 1, 16 and 64 concurrent clients,
// requests per second, the median and 99th percentile latency, and the
// server's CPU time per request: the process's CPU time less what the driver
// threads used themselves. The server runs in this process on threads of its
// own, as the application runs it; where the machine has the CPUs, the
// server threads and the driver threads are pinned to separate ones, so that
// neither takes the other's time.
//
// Then the memory: resident size at idle, after 5,000 sessions were made and
// deleted, and once the server had a moment to give memory back.
//
// Options: --seconds S (per level, default 3), --server-threads N (default:
// one run with 1 thread, then one with 4), --console (the server's console
// lines on standard error, off by default), --console-file PATH (the console
// lines, with standard error, into that file), --no-pin, --sessions N (for
// the memory phase, default 5000; 0 skips it), --poll-before-sleeping US (how
// long an idle server thread polls before it sleeps; default the endpoint's).
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <asio/buffer.hpp>
#include <asio/co_spawn.hpp>
#include <asio/connect.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "app/http/endpoint_threads.hpp"
#include "app/http/mcp_http_server.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/tool_methods.hpp"

using namespace lumenary;
using namespace lumenary::mcp;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int driverThreadCount = 4;

std::chrono::microseconds pollBeforeSleeping = http::EndpointThreads::defaultPollBeforeSleeping;

asio::awaitable<std::shared_ptr<Server>> makeEchoServer(asio::any_io_executor executor) {
    auto server = Server::create(std::move(executor), "http_bench", "1.0.0", std::nullopt,
                                 ServerCapabilities{.tools = ServerCapabilities::Tools{.listChanged = true}},
                                 ServerConfiguration::defaultConfiguration());
    server->registerMethodHandler<CallTool>([](CallTool::Parameters parameters) -> asio::awaitable<CallTool::Result> {
        const Value arguments = parameters.arguments
                                    ? Value(Value::Object(parameters.arguments->begin(), parameters.arguments->end()))
                                    : Value(Value::Object{});
        co_return CallTool::Result{{Tool::Content::text(writeJSON(arguments))}};
    });
    co_return server;
}

double cpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The CPUs the process was started on (all of them, or those taskset
// gave it), in order: pinning chooses among them, so that CPUs kept for
// other work stay free.
const std::vector<int>& allowedCPUs() {
    static const std::vector<int> cpus = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        std::vector<int> allowed;
        if (sched_getaffinity(0, sizeof(set), &set) != 0) return allowed;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(static_cast<unsigned>(cpu), &set)) allowed.push_back(cpu);
        }
        return allowed;
    }();
    return cpus;
}

// Pins the calling thread to the index-th allowed CPU, when there is one.
void pinTo(int index) {
    const auto& cpus = allowedCPUs();
    if (index < 0 || index >= static_cast<int>(cpus.size())) return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(static_cast<unsigned>(cpus[static_cast<std::size_t>(index)]), &set);
    pthread_setaffinity_np(pthread_self(), sizeof(set), &set);
}

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

std::string request(std::string_view method, std::uint16_t port, const std::string& sessionID,
                    const std::string& body) {
    return std::string(method) + " /mcp HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nContent-Type: application/json\r\nAccept: application/json, text/event-stream\r\nMcp-Session-Id: " +
           sessionID + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string post(std::uint16_t port, const std::string& sessionID, const std::string& body) {
    return request("POST", port, sessionID, body);
}

// One request on a fresh connection; the response, empty when it failed.
asio::awaitable<std::string> roundTrip(const asio::ip::tcp::endpoint& endpoint, const std::string& bytes) {
    asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
    std::string response;
    asio::error_code error;
    co_await socket.async_connect(endpoint, asio::redirect_error(asio::use_awaitable, error));
    if (!error) {
        co_await asio::async_write(socket, asio::buffer(bytes), asio::redirect_error(asio::use_awaitable, error));
    }
    if (!error) {
        co_await asio::async_read(socket, asio::dynamic_buffer(response),
                                  asio::redirect_error(asio::use_awaitable, error));
    }
    if (error && error != asio::error::eof) response.clear();
    co_return response;
}

struct ClientResult {
    std::vector<double> latencies;  // microseconds
    int failures = 0;
};

// One client: request after request, each on a new connection, until the
// deadline; alternates ping and the echo call.
asio::awaitable<void> runClient(std::uint16_t port, int number, Clock::time_point deadline, ClientResult* result) {
    const std::string sessionID =
        "bench-" + std::to_string(number) + "-" + std::to_string(Clock::now().time_since_epoch().count());
    const std::string requests[] = {
        post(port, sessionID, R"({"jsonrpc":"2.0","id":1,"method":"ping"})"),
        post(
            port, sessionID,
            R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"echo","arguments":{"text":"hello","n":42}}})"),
    };
    const asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port);
    for (std::size_t index = 0; Clock::now() < deadline; ++index) {
        const auto started = Clock::now();
        const auto response = co_await roundTrip(endpoint, requests[index % 2]);
        if (response.starts_with("HTTP/1.1 200")) {
            result->latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - started).count());
        } else {
            ++result->failures;
        }
    }
}

double percentile(std::vector<double>& values, double fraction) {
    if (values.empty()) return 0;
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
    return values[index];
}

// Runs `drive(thread, context)` on each of the driver threads, pinned past
// the server's CPUs, and returns the CPU seconds the drivers used.
template <typename Drive>
double runDrivers(int firstDriverCPU, Drive drive) {
    std::vector<double> used(driverThreadCount);
    std::vector<std::thread> drivers;
    for (int thread = 0; thread < driverThreadCount; ++thread) {
        drivers.emplace_back([&, thread] {
            pinTo(firstDriverCPU < 0 ? -1 : firstDriverCPU + thread);
            const double started = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            asio::io_context context(1);
            drive(thread, context);
            context.run();
            used[static_cast<std::size_t>(thread)] = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - started;
        });
    }
    for (auto& driver : drivers) driver.join();
    double total = 0;
    for (const double seconds : used) total += seconds;
    return total;
}

void runLevel(std::uint16_t port, int clients, std::chrono::seconds duration, int firstDriverCPU) {
    std::vector<ClientResult> results(static_cast<std::size_t>(clients));
    const double processStarted = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const auto started = Clock::now();
    const auto deadline = started + duration;
    const double driverSeconds = runDrivers(firstDriverCPU, [&](int thread, asio::io_context& context) {
        for (int client = thread; client < clients; client += driverThreadCount) {
            asio::co_spawn(context, runClient(port, client, deadline, &results[static_cast<std::size_t>(client)]),
                           asio::detached);
        }
    });
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const double serverSeconds = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStarted - driverSeconds;

    std::vector<double> latencies;
    int failures = 0;
    for (auto& result : results) {
        latencies.insert(latencies.end(), result.latencies.begin(), result.latencies.end());
        failures += result.failures;
    }
    const auto count = static_cast<double>(latencies.size());
    const double rate = count / seconds;
    const double p50 = percentile(latencies, 0.50);
    const double p99 = percentile(latencies, 0.99);
    const double cpuPerRequest = count > 0 ? serverSeconds * 1e6 / count : 0;
    std::printf(
        "%3d clients: %8.0f requests/s   p50 %6.3f ms   p99 %6.3f ms   server CPU %6.1f us/request   (%zu requests, "
        "%d failed)\n",
        clients, rate, p50 / 1000, p99 / 1000, cpuPerRequest, latencies.size(), failures);
    std::fflush(stdout);
}

struct Churn {
    std::atomic<int> next{0};
    std::atomic<int> failures{0};
};

// Makes sessions until `count` have been made, each with one ping and a
// DELETE.
asio::awaitable<void> churnClient(std::uint16_t port, int count, Churn* churn) {
    const asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port);
    for (int number = churn->next++; number < count; number = churn->next++) {
        const std::string sessionID = "churn-" + std::to_string(number);
        const auto made =
            co_await roundTrip(endpoint, post(port, sessionID, R"({"jsonrpc":"2.0","id":1,"method":"ping"})"));
        const auto deleted = co_await roundTrip(endpoint, request("DELETE", port, sessionID, ""));
        if (!made.starts_with("HTTP/1.1 200") || !deleted.starts_with("HTTP/1.1 204")) ++churn->failures;
    }
}

// Makes `count` sessions, 64 at a time.
void churnSessions(std::uint16_t port, int count, int firstDriverCPU) {
    Churn churn;
    runDrivers(firstDriverCPU, [&](int, asio::io_context& context) {
        for (int client = 0; client < 16; ++client) {
            asio::co_spawn(context, churnClient(port, count, &churn), asio::detached);
        }
    });
    if (churn.failures > 0) std::printf("  (%d sessions failed)\n", churn.failures.load());
}

// Runs `task(index)` on each endpoint thread, there, and waits for them.
void onEachThread(const http::EndpointThreads& threads, void (*task)(int)) {
    std::vector<std::future<void>> done;
    int index = 0;
    for (const auto& executor : threads.executors()) {
        std::packaged_task<void()> run([task, index] { task(index); });
        done.push_back(run.get_future());
        asio::post(executor, std::move(run));
        ++index;
    }
    for (auto& future : done) future.wait();
}

// Starts a server on `serverThreads` threads and drives it at each level.
void runWithServerThreads(int serverThreads, int seconds, bool console, bool pin, int sessions) {
    const int cpus = static_cast<int>(allowedCPUs().size());
    const bool canPin = pin && cpus >= serverThreads + driverThreadCount;
    const int firstDriverCPU = canPin ? serverThreads : -1;
    http::EndpointThreads threads(static_cast<std::size_t>(serverThreads), pollBeforeSleeping);
    if (canPin) onEachThread(threads, [](int index) { pinTo(index); });
    const auto executor = threads.executors().front();

    http::MCPHTTPServer::Options options;
    if (!console) {
        options.console = logging::Console();
    }
    auto server = http::MCPHTTPServer::create(threads.executors(), makeEchoServer, options);
    std::promise<std::uint16_t> bound;
    asio::co_spawn(executor, server->start(0), [&](std::exception_ptr error, std::uint16_t port) {
        if (error) {
            std::fprintf(stderr, "http_bench: cannot listen: %s\n", localizedDescription(error).c_str());
            std::exit(1);
        }
        bound.set_value(port);
    });
    const std::uint16_t port = bound.get_future().get();

    std::printf("HTTP endpoint, one request per connection, %d server thread(s)%s polling %lld us before sleeping, %d s "
                "per level\n",
                serverThreads, canPin ? " pinned apart from the driver" : "",
                static_cast<long long>(pollBeforeSleeping.count()), seconds);
    for (const int clients : {1, 16, 64}) {
        runLevel(port, clients, std::chrono::seconds(seconds), firstDriverCPU);
    }
    if (sessions > 0) {
        const double idle = residentMegabytes();
        churnSessions(port, sessions, firstDriverCPU);
        const double after = residentMegabytes();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        std::printf("resident memory: %.1f MB before %d sessions, %.1f MB right after, %.1f MB 2 s later\n", idle,
                    sessions, after, residentMegabytes());
    }

    std::promise<void> stopped;
    asio::co_spawn(executor, server->stop(), [&](std::exception_ptr) { stopped.set_value(); });
    stopped.get_future().get();
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 3;
    std::vector<int> serverThreads{1, 4};
    bool console = false;
    bool pin = true;
    int sessions = 5000;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--seconds") == 0 && index + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++index]));
        } else if (std::strcmp(argv[index], "--server-threads") == 0 && index + 1 < argc) {
            serverThreads = {std::max(1, std::atoi(argv[++index]))};
        } else if (std::strcmp(argv[index], "--sessions") == 0 && index + 1 < argc) {
            sessions = std::max(0, std::atoi(argv[++index]));
        } else if (std::strcmp(argv[index], "--poll-before-sleeping") == 0 && index + 1 < argc) {
            pollBeforeSleeping = std::chrono::microseconds(std::max(0, std::atoi(argv[++index])));
        } else if (std::strcmp(argv[index], "--console") == 0) {
            console = true;
        } else if (std::strcmp(argv[index], "--console-file") == 0 && index + 1 < argc) {
            // Before anything writes to standard error, so that all of it
            // goes there.
            const int file = ::open(argv[++index], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (file < 0 || ::dup2(file, STDERR_FILENO) < 0) {
                std::perror("http_bench: --console-file");
                return 1;
            }
            ::close(file);
            console = true;
        } else if (std::strcmp(argv[index], "--no-pin") == 0) {
            pin = false;
        }
    }
    for (const int threads : serverThreads) {
        runWithServerThreads(threads, seconds, console, pin, sessions);
    }
    return 0;
}
