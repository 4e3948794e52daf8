#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include "app/http/endpoint_threads.hpp"
#include "app/http/mcp_http_server.hpp"
#include "support/raw_connection.hpp"

// A real listener on an ephemeral loopback port, and a raw socket client that
// talks to it byte by byte, as any HTTP client would. Every wait has a
// deadline.
namespace lumenary::http::test {

inline constexpr std::chrono::seconds deadline{10};

using testing::parseResponse;
using testing::postRequest;
using testing::RawConnection;
using Response = testing::Response;

// An MCPHTTPServer on endpoint threads of its own, each session with a real
// MCP server. Its "tools/call" answers with the
// arguments, except for the tool "wait", which never answers;
// `setupCount` counts the sessions built, `waitingCalls` the calls of "wait"
// begun.
class ServerHarness {
public:
    explicit ServerHarness(MCPHTTPServer::Options options = quietOptions(), int threads = 2,
                           std::chrono::milliseconds setupDelay = std::chrono::milliseconds(0));
    ~ServerHarness();

    static MCPHTTPServer::Options quietOptions();

    template <typename T>
    T run(asio::awaitable<T> awaitable) {
        auto future = asio::co_spawn(threads_.executors().front(), std::move(awaitable), asio::use_future);
        if (future.wait_for(deadline) != std::future_status::ready) {
            throw std::runtime_error("awaitable did not finish in time");
        }
        return future.get();
    }

    MCPHTTPServer& server() { return *server_; }
    std::uint16_t port() const { return port_; }
    int setupCount() const { return setupCount_->load(); }
    int waitingCalls() const { return waitingCalls_->load(); }
    // Makes building a session's handlers fail, with a quotation in the error.
    void failSetups(bool fail) { failSetups_->store(fail); }
    std::vector<std::string> sessionIDs() { return run(server_->sessionIDs()); }
    // Polls until `predicate` holds; false at the deadline.
    template <typename Predicate>
    bool eventually(Predicate predicate) {
        const auto until = std::chrono::steady_clock::now() + deadline;
        while (!predicate()) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    // Sends one raw request and reads the whole response.
    Response exchange(std::string_view request);

private:
    EndpointThreads threads_;
    std::shared_ptr<std::atomic<int>> setupCount_ = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<bool>> failSetups_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<int>> waitingCalls_ = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<MCPHTTPServer> server_;
    std::uint16_t port_ = 0;
};

}  // namespace lumenary::http::test
