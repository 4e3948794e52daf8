// Memory driver for large request bodies: many clients POST a large "ping"
// to the Streamable-HTTP endpoint at once, under the endpoint's default body
// budget. Prints the process's resident size before, its peak while the
// bodies are in flight (sampled every few milliseconds), and after the last
// answer, once the server had a moment to give memory back; with how many
// bodies were answered and how many refused with 503.
//
// The clients write their bodies from one small shared piece, so that the
// driver's own memory stays out of the figures.
//
// Options: --clients N (default 16), --megabytes M (each body, default 30),
// --server-threads N (default 4).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
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

#include <asio/co_spawn.hpp>
#include <asio/use_future.hpp>

#include "app/http/endpoint_threads.hpp"
#include "app/http/mcp_http_server.hpp"
#include "mcp/server/server.hpp"

using namespace lumenary;

namespace {

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

asio::awaitable<std::shared_ptr<mcp::Server>> makePingServer(asio::any_io_executor executor) {
    co_return mcp::Server::create(std::move(executor), "http_body_memory_bench", "1.0.0", std::nullopt,
                                  mcp::ServerCapabilities{}, mcp::ServerConfiguration::defaultConfiguration());
}

bool writeAll(int socket, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Sends one ping whose params pad it to `bodyBytes`; the answer's status, or
// 0 when the exchange failed.
int postLargePing(std::uint16_t port, int client, std::size_t bodyBytes) {
    const std::string prefix = R"({"jsonrpc":"2.0","id":1,"method":"ping","params":{"pad":")";
    const std::string suffix = "\"}}";
    const std::size_t padBytes = bodyBytes - prefix.size() - suffix.size();
    const std::string head = "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                             "\r\nContent-Type: application/json\r\nMcp-Session-Id: client-" + std::to_string(client) +
                             "\r\nContent-Length: " + std::to_string(bodyBytes) + "\r\n\r\n";
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int status = 0;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        writeAll(socket, head + prefix)) {
        static const std::string piece(64 * 1024, 'x');
        bool isWritten = true;
        // A refused body is answered before it is read: the write then fails.
        for (std::size_t left = padBytes; left > 0 && isWritten;) {
            const std::size_t count = std::min(left, piece.size());
            isWritten = writeAll(socket, std::string_view(piece).substr(0, count));
            left -= count;
        }
        if (isWritten) writeAll(socket, suffix);
        std::string answer;
        char buffer[4096];
        for (ssize_t count; (count = ::recv(socket, buffer, sizeof buffer, 0)) > 0;) {
            answer.append(buffer, static_cast<std::size_t>(count));
        }
        if (answer.starts_with("HTTP/1.1 ")) status = std::atoi(answer.c_str() + 9);
    }
    ::close(socket);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    int clients = 16;
    std::size_t megabytes = 30;
    std::size_t serverThreads = 4;
    for (int index = 1; index + 1 < argc; index += 2) {
        const std::string option = argv[index];
        const long value = std::atol(argv[index + 1]);
        if (option == "--clients") clients = static_cast<int>(value);
        if (option == "--megabytes") megabytes = static_cast<std::size_t>(value);
        if (option == "--server-threads") serverThreads = static_cast<std::size_t>(value);
    }

    http::EndpointThreads threads(serverThreads);
    http::MCPHTTPServer::Options options;
    options.console = logging::Console();
    auto server = http::MCPHTTPServer::create(threads.executors(), makePingServer, options);
    const std::uint16_t port =
        asio::co_spawn(threads.executors().front(), server->start(0), asio::use_future).get();

    const double before = residentMegabytes();
    std::atomic<bool> isSampling{true};
    std::atomic<double> peak{before};
    std::thread sampler([&] {
        while (isSampling) {
            peak = std::max(peak.load(), residentMegabytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::vector<std::future<int>> statuses;
    for (int client = 0; client < clients; ++client) {
        statuses.push_back(std::async(std::launch::async, postLargePing, port, client, megabytes * 1000 * 1000));
    }
    int answered = 0, refused = 0;
    for (auto& status : statuses) {
        const int code = status.get();
        answered += code == 200;
        refused += code == 503;
    }
    isSampling = false;
    sampler.join();
    const double rightAfter = residentMegabytes();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double settled = residentMegabytes();

    std::printf("%d bodies of %zu MB at once, budget %zu MiB: %d answered, %d refused with 503\n", clients, megabytes,
                options.maximumBodyBytesInFlight / (1024 * 1024), answered, refused);
    std::printf("resident memory: %.1f MB before, %.1f MB at the peak, %.1f MB right after, %.1f MB 1 s later\n",
                before, peak.load(), rightAfter, settled);
    asio::co_spawn(threads.executors().front(), server->stop(), asio::use_future).get();
    return 0;
}
