// Load driver: messages per second through an MCP server over a pipe pair,
// lock-step (send, wait, send) and pipelined (10,000 in flight), for "ping"
// and for a "tools/call" that echoes its arguments; plus the median
// lock-step round trip. The server runs in this process on a thread of its
// own, exactly as it runs over standard input and output.
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

#include "mcp/core/json.hpp"
#include "mcp/server/server.hpp"
#include "mcp/server/stdio_transport.hpp"
#include "mcp/server/tool_methods.hpp"
#include "pipe.hpp"

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
    while (!bytes.empty()) {
        const ssize_t count = ::write(descriptor, bytes.data(), bytes.size());
        if (count <= 0) std::perror("write"), std::exit(1);
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
}

std::string request(std::string_view kind, int id) {
    if (kind == "ping") return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":"ping"})" + "\n";
    return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
           R"(,"method":"tools/call","params":{"name":"echo","arguments":{"query":"weather in Lisbon",)"
           R"("limit":5,"path":"/home/user/notes"}}})" +
           "\n";
}

void lockStep(std::string_view kind, int toServer, LineReader& fromServer) {
    std::vector<double> roundTrips;
    roundTrips.reserve(lockStepRounds);
    const auto start = Clock::now();
    for (int id = 0; id < lockStepRounds; ++id) {
        const auto line = request(kind, id);
        const auto sent = Clock::now();
        writeAll(toServer, line);
        fromServer.next();
        roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::nth_element(roundTrips.begin(), roundTrips.begin() + lockStepRounds / 2, roundTrips.end());
    const double median = roundTrips[lockStepRounds / 2];
    std::nth_element(roundTrips.begin(), roundTrips.begin() + lockStepRounds * 99 / 100, roundTrips.end());
    std::printf(
        "%-10s lock-step  %9.0f messages/s   round trip median %6.1f us, p99 %6.1f us  (target: median < 50 us)\n",
        std::string(kind).c_str(), lockStepRounds / seconds, median, roundTrips[lockStepRounds * 99 / 100]);
}

void pipelined(std::string_view kind, int toServer, LineReader& fromServer) {
    std::string batch;
    for (int id = 0; id < pipelinedMessages; ++id) batch += request(kind, id);
    std::vector<double> rates;
    for (int run = 0; run < pipelinedRuns; ++run) {
        const auto start = Clock::now();
        std::thread writer([&] { writeAll(toServer, batch); });
        for (int count = 0; count < pipelinedMessages; ++count) fromServer.next();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        writer.join();
        rates.push_back(pipelinedMessages / seconds);
    }
    std::sort(rates.begin(), rates.end());
    std::printf(
        "%-10s pipelined  %9.0f messages/s   median of %d runs (%.0f..%.0f), %d in flight"
        "  (target: > 100000 messages/s)\n",
        std::string(kind).c_str(), rates[rates.size() / 2], pipelinedRuns, rates.front(), rates.back(),
        pipelinedMessages);
}

}  // namespace

int main() {
    Pipe toServer;
    Pipe fromServer;
    asio::io_context context;
    auto server = Server::create(context.get_executor(), "bench", "1.0.0", std::nullopt,
                                 ServerCapabilities{.tools = ServerCapabilities::Tools{true}},
                                 ServerConfiguration::defaultConfiguration());
    server->registerMethodHandler<CallTool>([](CallTool::Parameters parameters) -> asio::awaitable<CallTool::Result> {
        Value::Object arguments;
        if (parameters.arguments) arguments.insert(parameters.arguments->begin(), parameters.arguments->end());
        CallTool::Result result;
        result.content.push_back(Tool::Content::text(writeJSON(Value(std::move(arguments)))));
        co_return result;
    });
    auto transport = StdioTransport::create(context.get_executor(), toServer.readEnd(), fromServer.writeEnd());
    asio::co_spawn(context, server->start(transport), asio::detached);
    std::thread serverThread([&] {
        ::pthread_setname_np(::pthread_self(), "server");
        context.run();
    });

    LineReader replies(fromServer.readEnd());
    writeAll(toServer.writeEnd(),
             R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
             R"("capabilities":{},"clientInfo":{"name":"bench","version":"1"}}})"
             "\n");
    replies.next();

    for (std::string_view kind : {"ping", "tools/call"}) {
        lockStep(kind, toServer.writeEnd(), replies);
        pipelined(kind, toServer.writeEnd(), replies);
    }

    asio::co_spawn(context, server->stop(), asio::detached);
    serverThread.join();
    return 0;
}
