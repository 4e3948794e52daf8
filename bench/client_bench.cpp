// Load driver: "tools/call" from our client to our server, over the
// in-memory pair and over a stdio pipe pair. Lock-step (one call waits for
// the one before) gives calls per second and the median round trip;
// concurrent callers (64 in flight) give calls per second. The server runs
// on a thread of its own, the client on the main thread.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/this_coro.hpp>

#include "async/one_shot.hpp"
#include "mcp/client/client.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/server.hpp"
#include "mcp/server/stdio_transport.hpp"
#include "mcp/transports/in_memory_transport.hpp"
#include "pipe.hpp"

using namespace lumenary::mcp;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int lockStepCalls = 20'000;
constexpr int concurrentCallerCount = 64;
constexpr int callsPerCaller = 500;

std::map<std::string, Value> echoArguments() {
    return {{"query", "weather in Lisbon"}, {"limit", 5}, {"path", "/home/user/notes"}};
}

using TransportMaker = std::function<std::shared_ptr<Transport>(asio::any_io_executor)>;

// A server with one "echo" tool, run on a thread of its own until stopped.
class ServerThread {
public:
    explicit ServerThread(const TransportMaker& makeTransport)
        : work_(asio::make_work_guard(io_)),
          server_(Server::create(io_.get_executor(), "bench", "1.0.0", std::nullopt,
                                 ServerCapabilities{.tools = ServerCapabilities::Tools{}},
                                 ServerConfiguration::defaultConfiguration())) {
        server_->registerMethodHandler<CallTool>([](CallTool::Parameters call) -> asio::awaitable<CallTool::Result> {
            Value::Object arguments;
            if (call.arguments) arguments.insert(call.arguments->begin(), call.arguments->end());
            CallTool::Result result;
            result.content.push_back(Tool::Content::text(writeJSON(Value(std::move(arguments)))));
            co_return result;
        });
        asio::co_spawn(io_, server_->start(makeTransport(io_.get_executor())), asio::detached);
        thread_ = std::thread([this] { io_.run(); });
    }
    ~ServerThread() {
        asio::co_spawn(io_, server_->stop(), asio::detached);
        work_.reset();
        thread_.join();
    }

private:
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::shared_ptr<Server> server_;
    std::thread thread_;
};

asio::awaitable<void> lockStep(std::shared_ptr<Client> client, std::vector<double>& roundTrips) {
    for (int call = 0; call < lockStepCalls; ++call) {
        const auto sent = Clock::now();
        co_await client->callTool("echo", echoArguments());
        roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    }
}

asio::awaitable<void> caller(std::shared_ptr<Client> client) {
    for (int call = 0; call < callsPerCaller; ++call) {
        co_await client->callTool("echo", echoArguments());
    }
}

// Runs the operation on the client's io_context, on this thread, to its end.
// The transport's reads keep the io_context busy, so run() would not return.
void runOn(asio::io_context& io, asio::awaitable<void> operation) {
    bool done = false;
    asio::co_spawn(io, std::move(operation), [&](std::exception_ptr error) {
        if (error) {
            std::fprintf(stderr, "client_bench: %s\n", localizedDescription(error).c_str());
            std::exit(1);
        }
        done = true;
    });
    while (!done) io.run_one();
}

asio::awaitable<void> concurrentCallers(std::shared_ptr<Client> client) {
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

void measure(const char* transportName, const TransportMaker& makeClientEnd) {
    asio::io_context io;
    auto clientEnd = makeClientEnd(io.get_executor());
    auto client = Client::create(io.get_executor(), "bench-client", "1.0");
    runOn(io, [](std::shared_ptr<Client> self, std::shared_ptr<Transport> transport) -> asio::awaitable<void> {
        co_await self->connect(transport);
    }(client, clientEnd));

    std::vector<double> roundTrips;
    roundTrips.reserve(lockStepCalls);
    auto start = Clock::now();
    runOn(io, lockStep(client, roundTrips));
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(roundTrips.begin(), roundTrips.end());
    std::printf("%-10s lock-step   %8.0f calls/s   round trip median %6.1f us, p99 %6.1f us\n", transportName,
                lockStepCalls / seconds, roundTrips[roundTrips.size() / 2], roundTrips[roundTrips.size() * 99 / 100]);

    start = Clock::now();
    runOn(io, concurrentCallers(client));
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-10s %d in flight %8.0f calls/s\n", transportName, concurrentCallerCount,
                concurrentCallerCount * callsPerCaller / seconds);

    runOn(io, client->disconnect());
}

}  // namespace

int main() {
    {
        auto [clientEnd, serverEnd] = InMemoryTransport::createConnectedPair();
        ServerThread server([serverEnd](asio::any_io_executor) { return serverEnd; });
        measure("in-memory", [clientEnd](asio::any_io_executor) { return clientEnd; });
    }
    {
        Pipe toServer;
        Pipe fromServer;
        ServerThread server([&](asio::any_io_executor executor) {
            return StdioTransport::create(std::move(executor), toServer.readEnd(), fromServer.writeEnd());
        });
        measure("stdio", [&](asio::any_io_executor executor) {
            return StdioTransport::create(std::move(executor), fromServer.readEnd(), toServer.writeEnd());
        });
    }
    return 0;
}
