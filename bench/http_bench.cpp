// Load driver for the Streamable-HTTP endpoint: many concurrent clients, each
// with a session of its own, POSTing "ping" and an echo "tools/call" to /mcp
// over a fresh loopback connection per request (the endpoint serves one
// request per connection). Prints requests per second and the median and 99th
// percentile latency for 1, 16 and 64 concurrent clients. The server runs in
// this process on threads of its own, as the application runs it.
//
// Options: --seconds S (per level, default 3), --server-threads N (default:
// one run with 1 thread, then one with 4), --console (the server's console
// lines on standard error, off by default).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include <asio/read.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "app/http/mcp_http_server.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/tool_methods.hpp"

using namespace lumenary;
using namespace lumenary::mcp;
using Clock = std::chrono::steady_clock;

namespace {

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

std::string post(std::uint16_t port, const std::string& sessionID, const std::string& body) {
    return "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nContent-Type: application/json\r\nAccept: application/json, text/event-stream\r\nMcp-Session-Id: " +
           sessionID + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct ClientResult {
    std::vector<double> latencies;  // microseconds
    int failures = 0;
};

// One client: request after request, each on a new connection, until the
// deadline; alternates ping and the echo call.
asio::awaitable<void> runClient(std::uint16_t port, int number, Clock::time_point deadline, ClientResult* result) {
    const auto executor = co_await asio::this_coro::executor;
    const std::string sessionID =
        "bench-" + std::to_string(number) + "-" + std::to_string(Clock::now().time_since_epoch().count());
    const std::string requests[] = {
        post(port, sessionID, R"({"jsonrpc":"2.0","id":1,"method":"ping"})"),
        post(
            port, sessionID,
            R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"echo","arguments":{"text":"hello","n":42}}})"),
    };
    const asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port);
    std::string response;
    for (std::size_t index = 0; Clock::now() < deadline; ++index) {
        const auto started = Clock::now();
        asio::ip::tcp::socket socket(executor);
        asio::error_code error;
        co_await socket.async_connect(endpoint, asio::redirect_error(asio::use_awaitable, error));
        if (!error) {
            co_await asio::async_write(socket, asio::buffer(requests[index % 2]),
                                       asio::redirect_error(asio::use_awaitable, error));
        }
        response.clear();
        if (!error) {
            co_await asio::async_read(socket, asio::dynamic_buffer(response),
                                      asio::redirect_error(asio::use_awaitable, error));
        }
        const bool answered = (!error || error == asio::error::eof) && response.starts_with("HTTP/1.1 200");
        if (answered) {
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

void runLevel(std::uint16_t port, int clients, std::chrono::seconds duration) {
    // Enough driver threads that the driver is not what is measured.
    const int threads = std::min(clients, 4);
    std::vector<ClientResult> results(static_cast<std::size_t>(clients));
    const auto started = Clock::now();
    const auto deadline = started + duration;
    std::vector<std::thread> drivers;
    for (int thread = 0; thread < threads; ++thread) {
        drivers.emplace_back([&, thread] {
            asio::io_context context(1);
            for (int client = thread; client < clients; client += threads) {
                asio::co_spawn(context, runClient(port, client, deadline, &results[static_cast<std::size_t>(client)]),
                               asio::detached);
            }
            context.run();
        });
    }
    for (auto& driver : drivers) driver.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    std::vector<double> latencies;
    int failures = 0;
    for (auto& result : results) {
        latencies.insert(latencies.end(), result.latencies.begin(), result.latencies.end());
        failures += result.failures;
    }
    const double rate = static_cast<double>(latencies.size()) / seconds;
    const double p50 = percentile(latencies, 0.50);
    const double p99 = percentile(latencies, 0.99);
    std::printf("%3d clients: %8.0f requests/s   p50 %6.3f ms   p99 %6.3f ms   (%zu requests, %d failed)\n", clients,
                rate, p50 / 1000, p99 / 1000, latencies.size(), failures);
    std::fflush(stdout);
}

// Starts a server on `serverThreads` threads and drives it at each level.
void runWithServerThreads(int serverThreads, int seconds, bool console) {
    asio::io_context serverContext(serverThreads);
    http::MCPHTTPServer::Options options;
    if (!console) {
        options.console = logging::Console();
    }
    auto server = http::MCPHTTPServer::create(serverContext.get_executor(), makeEchoServer, options);
    std::promise<std::uint16_t> bound;
    asio::co_spawn(serverContext, server->start(0), [&](std::exception_ptr error, std::uint16_t port) {
        if (error) {
            std::fprintf(stderr, "http_bench: cannot listen: %s\n", localizedDescription(error).c_str());
            std::exit(1);
        }
        bound.set_value(port);
    });
    auto work = asio::make_work_guard(serverContext);
    std::vector<std::thread> threads;
    for (int index = 0; index < serverThreads; ++index) threads.emplace_back([&] { serverContext.run(); });
    const std::uint16_t port = bound.get_future().get();

    std::printf("HTTP endpoint, one request per connection, %d server thread(s), %d s per level\n", serverThreads,
                seconds);
    for (const int clients : {1, 16, 64}) {
        runLevel(port, clients, std::chrono::seconds(seconds));
    }

    std::promise<void> stopped;
    asio::co_spawn(serverContext, server->stop(), [&](std::exception_ptr) { stopped.set_value(); });
    stopped.get_future().get();
    work.reset();
    serverContext.stop();
    for (auto& thread : threads) thread.join();
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 3;
    std::vector<int> serverThreads{1, 4};
    bool console = false;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--seconds") == 0 && index + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++index]));
        } else if (std::strcmp(argv[index], "--server-threads") == 0 && index + 1 < argc) {
            serverThreads = {std::max(1, std::atoi(argv[++index]))};
        } else if (std::strcmp(argv[index], "--console") == 0) {
            console = true;
        }
    }
    for (const int threads : serverThreads) {
        runWithServerThreads(threads, seconds, console);
    }
    return 0;
}
