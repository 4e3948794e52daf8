// Load driver: messages per second through an MCP server over a pipe pair,
// lock-step (send, wait, send) and pipelined (10,000 in flight), for "ping",
// for a "tools/call" that echoes its arguments and for a "tools/call" that
// the tool service refuses (no category offers the tool); plus the lock-step
// round trip and the server thread's CPU time per message, read from the
// kernel's accounting of that thread. Each server runs in this process on a
// thread of its own, exactly as it runs over standard input and output.
//
// Wake-ups across CPUs swamp a lock-step round trip: run it pinned to one
// CPU, driver and servers alike, with `taskset -c 2 stdio_bench`.
//
// Arguments pick what runs: kinds ("ping", "tools/call", "refused"; all by
// default) and "--lock-step-only", so that a system call count
// (`strace -f -c`) can be divided by the messages of one kind.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

#include "app/host/mcp_method_handlers.hpp"
#include "app/tools/local_tool_service.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/server.hpp"
#include "mcp/server/stdio_transport.hpp"
#include "mcp/server/tool_methods.hpp"
#include "pipe.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "system/write_all.hpp"

using namespace lumenary;
using namespace lumenary::mcp;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int lockStepRounds = 20'000;
constexpr int pipelinedMessages = 10'000;
// Pipelined runs are short and the scheduler's noise large: the figure is
// the median of several runs.
constexpr int pipelinedRuns = 7;

// Reads whole lines from a descriptor with one buffer.
class LineReader {
public:
    explicit LineReader(int descriptor) : descriptor_(descriptor) {}

    std::string_view next() {
        for (;;) {
            if (auto end = buffer_.find('\n', start_); end != std::string::npos) {
                std::string_view line(buffer_.data() + start_, end - start_);
                start_ = end + 1;
                return line;
            }
            buffer_.erase(0, start_);
            start_ = 0;
            char chunk[1 << 16];
            const ssize_t count = ::read(descriptor_, chunk, sizeof chunk);
            if (count <= 0) std::fprintf(stderr, "server closed its output\n"), std::exit(1);
            buffer_.append(chunk, static_cast<std::size_t>(count));
        }
    }

private:
    int descriptor_;
    std::string buffer_;
    std::size_t start_ = 0;
};

void writeAll(int descriptor, std::string_view bytes) {
    if (const int error = lumenary::system::writeAll(descriptor, bytes); error != 0) {
        std::fprintf(stderr, "stdio_bench: write: %s\n", std::strerror(error));
        std::exit(1);
    }
}

double cpuMicroseconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// One server over its own pipe pair, on its own thread, with the thread's
// CPU clock at hand.
class BenchServer {
public:
    explicit BenchServer(const char* threadName) {
        server_ = Server::create(context_.get_executor(), "bench", "1.0.0", std::nullopt,
                                 ServerCapabilities{.tools = ServerCapabilities::Tools{true}},
                                 ServerConfiguration::defaultConfiguration());
        transport_ = StdioTransport::create(context_.get_executor(), toServer_.readEnd(), fromServer_.writeEnd());
        threadName_ = threadName;
    }

    Server& server() { return *server_; }
    asio::any_io_executor executor() { return context_.get_executor(); }

    void start() {
        asio::co_spawn(context_, server_->start(transport_), asio::detached);
        thread_ = std::thread([this] {
            ::pthread_setname_np(::pthread_self(), threadName_);
            context_.run();
        });
        ::pthread_getcpuclockid(thread_.native_handle(), &cpuClock_);
        writeAll(toServer_.writeEnd(),
                 R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
                 R"("capabilities":{},"clientInfo":{"name":"bench","version":"1"}}})"
                 "\n");
        replies_.next();
    }

    void stop() {
        asio::co_spawn(context_, server_->stop(), asio::detached);
        thread_.join();
    }

    int input() const { return toServer_.writeEnd(); }
    LineReader& replies() { return replies_; }
    double cpu() const { return cpuMicroseconds(cpuClock_); }

private:
    Pipe toServer_;
    Pipe fromServer_;
    asio::io_context context_{1};
    std::shared_ptr<Server> server_;
    std::shared_ptr<StdioTransport> transport_;
    std::thread thread_;
    const char* threadName_ = "";
    clockid_t cpuClock_{};
    LineReader replies_{fromServer_.readEnd()};
};

std::string request(std::string_view kind, int id) {
    const std::string head = R"({"jsonrpc":"2.0","id":)" + std::to_string(id);
    if (kind == "ping") return head + R"(,"method":"ping"})" + "\n";
    if (kind == "refused") {
        return head + R"(,"method":"tools/call","params":{"name":"calendar_list","arguments":{"limit":5}}})" + "\n";
    }
    return head +
           R"(,"method":"tools/call","params":{"name":"echo","arguments":{"query":"weather in Lisbon",)"
           R"("limit":5,"path":"/home/user/notes"}}})" +
           "\n";
}

void lockStep(std::string_view kind, BenchServer& server) {
    std::vector<double> roundTrips;
    roundTrips.reserve(lockStepRounds);
    const double cpuStart = server.cpu();
    const auto start = Clock::now();
    for (int id = 0; id < lockStepRounds; ++id) {
        const auto line = request(kind, id);
        const auto sent = Clock::now();
        writeAll(server.input(), line);
        server.replies().next();
        roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpuPerMessage = (server.cpu() - cpuStart) / lockStepRounds;
    std::nth_element(roundTrips.begin(), roundTrips.begin() + lockStepRounds / 2, roundTrips.end());
    const double median = roundTrips[lockStepRounds / 2];
    std::nth_element(roundTrips.begin(), roundTrips.begin() + lockStepRounds * 99 / 100, roundTrips.end());
    std::printf("%-10s lock-step  %9.0f messages/s   round trip median %6.1f us, p99 %6.1f us   server CPU %5.2f us/message\n",
                std::string(kind).c_str(), lockStepRounds / seconds, median, roundTrips[lockStepRounds * 99 / 100],
                cpuPerMessage);
}

void pipelined(std::string_view kind, BenchServer& server) {
    std::string batch;
    for (int id = 0; id < pipelinedMessages; ++id) batch += request(kind, id);
    std::vector<double> rates;
    std::vector<double> cpus;
    for (int run = 0; run < pipelinedRuns; ++run) {
        const double cpuStart = server.cpu();
        const auto start = Clock::now();
        std::thread writer([&] { writeAll(server.input(), batch); });
        for (int count = 0; count < pipelinedMessages; ++count) server.replies().next();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        writer.join();
        rates.push_back(pipelinedMessages / seconds);
        cpus.push_back((server.cpu() - cpuStart) / pipelinedMessages);
    }
    std::sort(rates.begin(), rates.end());
    std::sort(cpus.begin(), cpus.end());
    std::printf("%-10s pipelined  %9.0f messages/s   median of %d runs (%.0f..%.0f), %d in flight"
                "   server CPU %5.2f us/message\n",
                std::string(kind).c_str(), rates[rates.size() / 2], pipelinedRuns, rates.front(), rates.back(),
                pipelinedMessages, cpus[cpus.size() / 2]);
}

void reportPinning() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) == 1) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &set)) std::printf("pinned to CPU %d\n", cpu);
        }
    } else {
        std::printf("not pinned to one CPU: lock-step figures include cross-CPU wake-ups (see taskset)\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> kinds;
    bool lockStepOnly = false;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--lock-step-only") {
            lockStepOnly = true;
        } else if (argument == "ping" || argument == "tools/call" || argument == "refused") {
            kinds.push_back(argument);
        } else {
            std::fprintf(stderr, "usage: stdio_bench [--lock-step-only] [ping] [tools/call] [refused]\n");
            return 2;
        }
    }
    if (kinds.empty()) kinds = {"ping", "tools/call", "refused"};
    reportPinning();

    BenchServer echoing("echo server");
    echoing.server().registerMethodHandler<CallTool>(
        [](CallTool::Parameters parameters) -> asio::awaitable<CallTool::Result> {
            Value::Object arguments;
            if (parameters.arguments) arguments.insert(parameters.arguments->begin(), parameters.arguments->end());
            CallTool::Result result;
            result.content.push_back(Tool::Content::text(writeJSON(Value(std::move(arguments)))));
            co_return result;
        });
    echoing.start();

    // The program's own handlers and tool service, with every category
    // empty, as they stand today: every call is refused as unknown.
    platform::MemoryDefaultsStore defaults;
    BenchServer refusing("tool server");
    auto service = std::make_shared<app::LocalToolService>(refusing.executor(), defaults, app::ToolCategories{});
    app::installMethodHandlers(refusing.server(), *service);
    refusing.start();

    for (const auto kind : kinds) {
        auto& server = kind == "refused" ? refusing : echoing;
        lockStep(kind, server);
        if (!lockStepOnly) pipelined(kind, server);
    }
    std::printf("targets: ping server CPU <= 5 us/message, pipelined ping >= 500000 messages/s\n");

    echoing.stop();
    refusing.stop();
    return 0;
}
