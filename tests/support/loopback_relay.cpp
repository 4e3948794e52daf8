#include "support/loopback_relay.hpp"

#include <algorithm>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

namespace lumenary::testing {

namespace {

using asio::ip::tcp;
constexpr auto withError = asio::experimental::as_tuple(asio::use_awaitable);

}  // namespace

// Everything but the counters is touched only on the relay's thread.
struct LoopbackRelay::State {
    struct Connection {
        explicit Connection(asio::io_context& context) : client(context), target(context) {}
        tcp::socket client;
        tcp::socket target;
        bool closed = false;
    };

    explicit State(std::uint16_t target)
        : work(context.get_executor()), acceptor(context), targetPort(target), resumed(context) {
        resumed.expires_at(asio::steady_timer::time_point::max());
    }

    void close(const std::shared_ptr<Connection>& connection) {
        if (connection->closed) {
            return;
        }
        connection->closed = true;
        std::error_code ignored;
        connection->client.close(ignored);
        connection->target.close(ignored);
        connections.erase(std::remove(connections.begin(), connections.end(), connection), connections.end());
        {
            std::lock_guard lock(mutex);
            --open;
        }
        changed.notify_all();
    }

    // Wakes every pump that waits out a stall, so it looks again.
    void wakeStalled() {
        resumed.cancel();
        resumed.expires_at(asio::steady_timer::time_point::max());
    }

    asio::io_context context;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    tcp::acceptor acceptor;
    std::uint16_t targetPort;
    std::uint16_t port = 0;
    std::vector<std::shared_ptr<Connection>> connections;
    std::size_t trickleBytes = 0;
    std::chrono::milliseconds tricklePause{0};
    bool stalled = false;
    bool stopping = false;
    asio::steady_timer resumed;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::size_t accepted = 0;
    std::size_t open = 0;
};

namespace {

using State = LoopbackRelay::State;
using Connection = State::Connection;

// Waits while the relay is stalled; false once the connection has closed.
asio::awaitable<bool> waitWhileStalled(std::shared_ptr<State> state, std::shared_ptr<Connection> connection) {
    while (state->stalled && !connection->closed && !state->stopping) {
        co_await state->resumed.async_wait(withError);
    }
    co_return !connection->closed && !state->stopping;
}

// Moves bytes one way until either side ends, then closes both.
asio::awaitable<void> pump(std::shared_ptr<State> state, std::shared_ptr<Connection> connection, bool fromClient) {
    tcp::socket& from = fromClient ? connection->client : connection->target;
    tcp::socket& to = fromClient ? connection->target : connection->client;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        if (!co_await waitWhileStalled(state, connection)) {
            break;
        }
        auto [readError, count] = co_await from.async_read_some(asio::buffer(buffer), withError);
        if (readError) {
            break;
        }
        bool failed = false;
        for (std::size_t offset = 0; offset < count && !failed;) {
            if (!co_await waitWhileStalled(state, connection)) {
                failed = true;
                break;
            }
            const std::size_t chunk =
                state->trickleBytes == 0 ? count - offset : std::min(state->trickleBytes, count - offset);
            auto [writeError, written] = co_await asio::async_write(to, asio::buffer(buffer.data() + offset, chunk),
                                                                    withError);
            failed = static_cast<bool>(writeError);
            offset += written;
            if (!failed && state->trickleBytes != 0 && state->tricklePause.count() > 0) {
                asio::steady_timer pause(state->context, state->tricklePause);
                co_await pause.async_wait(withError);
            }
        }
        if (failed) {
            break;
        }
    }
    state->close(connection);
}

asio::awaitable<void> relay(std::shared_ptr<State> state, std::shared_ptr<Connection> connection) {
    const tcp::endpoint target(asio::ip::address_v4::loopback(), state->targetPort);
    auto [error] = co_await connection->target.async_connect(target, withError);
    if (error || connection->closed) {
        state->close(connection);
        co_return;
    }
    std::error_code ignored;
    connection->client.set_option(tcp::no_delay(true), ignored);
    connection->target.set_option(tcp::no_delay(true), ignored);
    asio::co_spawn(state->context, pump(state, connection, true), asio::detached);
    asio::co_spawn(state->context, pump(state, connection, false), asio::detached);
}

asio::awaitable<void> acceptLoop(std::shared_ptr<State> state) {
    while (!state->stopping) {
        auto connection = std::make_shared<Connection>(state->context);
        auto [error] = co_await state->acceptor.async_accept(connection->client, withError);
        if (error) {
            if (state->stopping || error == asio::error::operation_aborted) {
                co_return;
            }
            continue;
        }
        state->connections.push_back(connection);
        {
            std::lock_guard lock(state->mutex);
            ++state->accepted;
            ++state->open;
        }
        state->changed.notify_all();
        asio::co_spawn(state->context, relay(state, connection), asio::detached);
    }
}

}  // namespace

LoopbackRelay::LoopbackRelay(std::uint16_t targetPort) : state_(std::make_shared<State>(targetPort)) {
    const tcp::endpoint loopback(asio::ip::address_v4::loopback(), 0);
    state_->acceptor.open(loopback.protocol());
    state_->acceptor.set_option(tcp::acceptor::reuse_address(true));
    state_->acceptor.bind(loopback);
    state_->acceptor.listen();
    state_->port = state_->acceptor.local_endpoint().port();
    asio::co_spawn(state_->context, acceptLoop(state_), asio::detached);
    thread_ = std::thread([state = state_] { state->context.run(); });
}

LoopbackRelay::~LoopbackRelay() {
    // Every coroutine ends once its socket or timer is closed, so the
    // context runs out of work and its thread returns.
    runOnRelayThread([](State& state) {
        state.stopping = true;
        std::error_code ignored;
        state.acceptor.close(ignored);
        auto open = state.connections;
        for (const auto& connection : open) {
            state.close(connection);
        }
        state.resumed.cancel();
        state.work.reset();
    });
    thread_.join();
}

std::uint16_t LoopbackRelay::port() const noexcept {
    return state_->port;
}

void LoopbackRelay::runOnRelayThread(std::function<void(State&)> change) const {
    std::promise<void> done;
    asio::post(state_->context, [state = state_, &change, &done] {
        change(*state);
        done.set_value();
    });
    done.get_future().wait();
}

void LoopbackRelay::cutAll() {
    runOnRelayThread([](State& state) {
        auto open = state.connections;
        for (const auto& connection : open) {
            state.close(connection);
        }
        state.wakeStalled();
    });
}

void LoopbackRelay::trickle(std::size_t bytes, std::chrono::milliseconds pause) {
    runOnRelayThread([bytes, pause](State& state) {
        state.trickleBytes = bytes;
        state.tricklePause = pause;
    });
}

void LoopbackRelay::stall(bool stalled) {
    runOnRelayThread([stalled](State& state) {
        state.stalled = stalled;
        if (!stalled) {
            state.wakeStalled();
        }
    });
}

std::size_t LoopbackRelay::connectionCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->accepted;
}

std::size_t LoopbackRelay::openConnectionCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->open;
}

bool LoopbackRelay::waitForConnectionCount(std::size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, deadline, [&] { return state_->accepted >= count; });
}

}  // namespace lumenary::testing
