#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/strand.hpp>

#include "app/http/body_budget.hpp"
#include "app/http/connection_table.hpp"
#include "app/http/http_connection.hpp"
#include "logging/console.hpp"

namespace lumenary::http {

// Accepts connections on the loopback interface and keeps the table of open
// connections with the limits they share: at most so many open at once
// (accepting waits at the limit) and one memory budget for request bodies in
// flight. Each of its executors, each run by one thread, accepts connections
// of its own (see LoopbackAcceptors) and hands each to the serve function
// there (the connection may move to another such thread later); its slot is
// free again when it ends.
//
// Its state lives on its strand, on the first executor: starting and
// stopping run there. Each acceptor is used on its own executor only. The
// connection table and the body budget guard their own state, as
// connections end on their own threads.
class HTTPListener : public std::enable_shared_from_this<HTTPListener> {
public:
    using Serve = std::function<asio::awaitable<void>(std::shared_ptr<HTTPConnection> connection)>;

    struct Limits {
        // Open connections, event streams included.
        std::size_t maximumConnections = 1024;
        std::size_t maximumBodyBytesInFlight = 256 * 1024 * 1024;
    };

    // At least one executor.
    static std::shared_ptr<HTTPListener> create(std::vector<asio::any_io_executor> executors, Limits limits,
                                                logging::Console console, Serve serve);

    HTTPListener(const HTTPListener&) = delete;
    HTTPListener& operator=(const HTTPListener&) = delete;

    // Listens on 127.0.0.1 (and on ::1 where the system has it) and returns
    // the port: `preferredPort`, or one the system chose when it is 0. While
    // listening it returns that port whatever is asked. Throws the system's
    // error (an asio::system_error) when it cannot listen, also when another
    // program listens on the port.
    asio::awaitable<std::uint16_t> start(std::uint16_t preferredPort);
    // Stops accepting and closes every open connection.
    asio::awaitable<void> stop();
    asio::awaitable<std::optional<std::uint16_t>> port();

private:
    HTTPListener(std::vector<asio::any_io_executor> executors, Limits limits, logging::Console console, Serve serve);

    asio::awaitable<std::uint16_t> startOnStrand(std::uint16_t preferredPort);
    asio::awaitable<void> stopOnStrand();
    static asio::awaitable<void> acceptLoop(std::weak_ptr<HTTPListener> weakSelf,
                                            std::shared_ptr<asio::ip::tcp::acceptor> acceptor);
    // Makes an accepted socket a connection in the table.
    std::shared_ptr<HTTPConnection> admit(asio::ip::tcp::socket socket, asio::ip::tcp::endpoint peer);

    const std::vector<asio::any_io_executor> executors_;
    const asio::strand<asio::any_io_executor> strand_;
    const Limits limits_;
    const logging::Console console_;
    const Serve serve_;
    const std::shared_ptr<BodyBudget> bodyBudget_;
    const std::shared_ptr<ConnectionTable> connections_;

    std::vector<std::shared_ptr<asio::ip::tcp::acceptor>> acceptors_;
    std::optional<std::uint16_t> port_;
    std::atomic<std::uint64_t> nextConnectionNumber_ = 0;
};

}  // namespace lumenary::http
