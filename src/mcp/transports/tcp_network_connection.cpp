#include "mcp/transports/tcp_network_connection.hpp"

#include <string>
#include <utility>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "async/close_on_exec_socket.hpp"

namespace lumenary::mcp {

namespace {

using asio::ip::tcp;
constexpr auto withError = asio::experimental::as_tuple(asio::use_awaitable);

}  // namespace

// One start: its own resolver and socket, so an attempt that was cancelled
// can neither report nor touch the socket of the next.
struct TCPNetworkConnection::Attempt {
    Attempt(asio::any_io_executor reportExecutor, StateHandler stateHandler)
        : executor(reportExecutor),
          resolver(reportExecutor),
          socket(reportExecutor),
          handler(std::move(stateHandler)) {}

    asio::any_io_executor executor;
    tcp::resolver resolver;
    tcp::socket socket;
    StateHandler handler;
    bool ended = false;
    bool ready = false;

    void close() {
        ended = true;
        resolver.cancel();
        std::error_code ignored;
        socket.close(ignored);
    }
};

std::shared_ptr<TCPNetworkConnection> TCPNetworkConnection::create(std::string host, std::uint16_t port) {
    return std::shared_ptr<TCPNetworkConnection>(new TCPNetworkConnection(std::move(host), port));
}

TCPNetworkConnection::~TCPNetworkConnection() {
    if (attempt_) {
        attempt_->close();
    }
}

void TCPNetworkConnection::start(asio::any_io_executor executor, StateHandler handler) {
    if (attempt_) {
        attempt_->close();
    }
    attempt_ = std::make_shared<Attempt>(std::move(executor), std::move(handler));
    report(attempt_, {NetworkConnectionState::preparing});
    asio::co_spawn(attempt_->executor, connect(shared_from_this(), attempt_), asio::detached);
}

asio::awaitable<void> TCPNetworkConnection::connect(std::shared_ptr<TCPNetworkConnection> self,
                                                    std::shared_ptr<Attempt> attempt) {
    auto [resolveError, endpoints] =
        co_await attempt->resolver.async_resolve(self->host_, std::to_string(self->port_), withError);
    if (attempt->ended) {
        co_return;
    }
    if (resolveError) {
        self->report(attempt, {NetworkConnectionState::failed, resolveError});
        co_return;
    }
    std::error_code lastError = asio::error::host_not_found;
    for (const auto& entry : endpoints) {
        std::error_code ignored;
        attempt->socket.close(ignored);
        std::error_code openError;
        async::openCloseOnExec(attempt->socket, entry.endpoint().protocol(), openError);
        if (openError) {
            lastError = openError;
            continue;
        }
        auto [connectError] = co_await attempt->socket.async_connect(entry.endpoint(), withError);
        if (attempt->ended) {
            co_return;
        }
        if (!connectError) {
            attempt->socket.set_option(tcp::no_delay(true), ignored);
            attempt->ready = true;
            self->report(attempt, {NetworkConnectionState::ready});
            co_return;
        }
        lastError = connectError;
    }
    std::error_code ignored;
    attempt->socket.close(ignored);
    self->report(attempt, {NetworkConnectionState::failed, lastError});
}

void TCPNetworkConnection::report(const std::shared_ptr<Attempt>& attempt, NetworkConnectionStateReport report) {
    if (attempt->ended) {
        return;
    }
    state_ = report.state;
    // Posted, never called inline: the owner may be in the middle of start().
    asio::post(attempt->executor, [attempt, report] {
        if (!attempt->ended || report.state == NetworkConnectionState::cancelled) {
            attempt->handler(report);
        }
    });
}

void TCPNetworkConnection::cancel() {
    if (!attempt_ || attempt_->ended) {
        return;
    }
    report(attempt_, {NetworkConnectionState::cancelled});
    attempt_->close();
}

std::shared_ptr<TCPNetworkConnection::Attempt> TCPNetworkConnection::readyAttempt() const {
    if (!attempt_ || attempt_->ended || !attempt_->ready) {
        throw std::system_error(std::make_error_code(std::errc::not_connected));
    }
    return attempt_;
}

asio::awaitable<void> TCPNetworkConnection::send(asio::const_buffer bytes) {
    // The attempt, and so its socket, lives until the write ends.
    auto attempt = readyAttempt();
    co_await asio::async_write(attempt->socket, bytes, asio::use_awaitable);
}

asio::awaitable<std::size_t> TCPNetworkConnection::receive(asio::mutable_buffer buffer) {
    auto attempt = readyAttempt();
    co_return co_await attempt->socket.async_read_some(buffer, asio::use_awaitable);
}

}  // namespace lumenary::mcp
