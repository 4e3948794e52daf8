#include "peers/network_test_peer.hpp"

#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <optional>

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

#include "async/one_shot.hpp"
#include "async/queue.hpp"
#include "logging/no_op_log_handler.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/mcp_server.hpp"
#include "mcp/transports/network_framer.hpp"
#include "mcp/transports/network_heartbeat.hpp"
#include "mcp/transports/network_write_queue.hpp"

namespace lumenary::mcp::testing {

namespace {

using asio::ip::tcp;
constexpr auto withError = asio::experimental::as_tuple(asio::use_awaitable);

// The server end of one accepted connection. Everything runs on the peer's
// one thread.
class PeerSocketTransport final : public Transport, public std::enable_shared_from_this<PeerSocketTransport> {
public:
    PeerSocketTransport(tcp::socket socket, std::chrono::milliseconds heartbeatInterval)
        : socket_(std::move(socket)),
          heartbeatInterval_(heartbeatInterval),
          queue_(std::make_shared<NetworkWriteQueue>(8 * 1024 * 1024)),
          heartbeatTimer_(socket_.get_executor()) {}

    logging::Logger logger() const override {
        return logging::Logger("network-test-peer", logging::NoOpLogHandler());
    }

    asio::awaitable<void> connect() override {
        auto self = shared_from_this();
        asio::co_spawn(socket_.get_executor(), readLoop(self), asio::detached);
        if (heartbeatInterval_.count() > 0) {
            asio::co_spawn(socket_.get_executor(), heartbeatLoop(self), asio::detached);
        }
        co_return;
    }

    asio::awaitable<void> disconnect() override {
        close();
        co_return;
    }

    asio::awaitable<void> send(SentMessage message) override {
        if (!socket_.is_open()) {
            throw MCPError::connectionClosed();
        }
        auto written = queue_->pushMessage(message.text);
        if (!queue_->isWriting()) {
            // The sender writes when nobody else does: no writer to start.
            co_await writeLoop(shared_from_this());
        } else {
            startWriter();
        }
        co_await written.wait();
    }

    async::Queue<ReceivedMessage> receive() override { return messages_; }

    // Half a message, then the end of the connection.
    void dieMidMessage() {
        auto written = queue_->pushRecord("{\"jsonrpc\":\"2.0\",\"id\":\"cut-");
        startWriter();
        asio::co_spawn(
            socket_.get_executor(),
            [](std::shared_ptr<PeerSocketTransport> self, async::OneShot<void> sent) -> asio::awaitable<void> {
                try {
                    co_await sent.wait();
                } catch (...) {
                }
                self->close();
            }(shared_from_this(), written),
            asio::detached);
    }

    void close() {
        std::error_code ignored;
        socket_.close(ignored);
        heartbeatTimer_.cancel();
        messages_.finish();
        queue_->failAll(std::make_exception_ptr(MCPError::connectionClosed()));
    }

    bool isOpen() const { return socket_.is_open(); }

private:
    void startWriter() {
        if (queue_->isWriting() || !queue_->hasQueuedBytes() || !socket_.is_open()) {
            return;
        }
        asio::co_spawn(socket_.get_executor(), writeLoop(shared_from_this()), asio::detached);
    }

    static asio::awaitable<void> writeLoop(std::shared_ptr<PeerSocketTransport> self) {
        while (self->queue_->hasQueuedBytes() && self->socket_.is_open()) {
            const auto batch = self->queue_->takeBatch();
            auto [error, written] =
                co_await asio::async_write(self->socket_, asio::buffer(batch.data(), batch.size()), withError);
            if (error) {
                self->queue_->batchFailed(std::make_exception_ptr(std::system_error(error)));
                self->close();
                co_return;
            }
            self->queue_->batchWritten();
        }
    }

    static asio::awaitable<void> readLoop(std::shared_ptr<PeerSocketTransport> self) {
        std::vector<char> buffer(64 * 1024);
        NetworkFramer framer;
        std::vector<NetworkFramer::Frame> frames;
        for (;;) {
            auto [error, count] = co_await self->socket_.async_read_some(asio::buffer(buffer), withError);
            if (error) {
                self->close();
                co_return;
            }
            frames.clear();
            framer.feed(std::string_view(buffer.data(), count), frames);
            for (auto& frame : frames) {
                if (auto* message = std::get_if<std::string>(&frame)) {
                    self->messages_.push(ReceivedMessage(std::move(*message)));
                }
            }
        }
    }

    // Queued, not written: behind replies already waiting it goes out in
    // their write.
    static asio::awaitable<void> heartbeatLoop(std::shared_ptr<PeerSocketTransport> self) {
        while (self->socket_.is_open()) {
            self->heartbeatTimer_.expires_after(self->heartbeatInterval_);
            auto [error] = co_await self->heartbeatTimer_.async_wait(withError);
            if (error || !self->socket_.is_open()) {
                co_return;
            }
            (void)self->queue_->pushRecord(NetworkHeartbeat::now().data());
            self->startWriter();
        }
    }

    tcp::socket socket_;
    std::chrono::milliseconds heartbeatInterval_;
    std::shared_ptr<NetworkWriteQueue> queue_;
    asio::steady_timer heartbeatTimer_;
    async::Queue<ReceivedMessage> messages_;
};

Tool makeTool(std::string name, std::string description) {
    return Tool{std::move(name), std::move(description), Value::object({{"type", "object"}}), {}};
}

}  // namespace

struct NetworkTestPeer::State {
    explicit State(Options chosen) : options(chosen), work(context.get_executor()), acceptor(context) {}

    Options options;
    asio::io_context context;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    tcp::acceptor acceptor;
    std::uint16_t port = 0;
    std::vector<std::weak_ptr<PeerSocketTransport>> connections;
    std::vector<std::shared_ptr<Server>> servers;
    // One for every "hold" call still waiting.
    std::vector<async::OneShot<void>> holds;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::size_t accepted = 0;
    std::size_t heldCalls = 0;
    std::vector<std::string> notes;

    void listen(std::uint16_t chosenPort) {
        const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), chosenPort);
        acceptor.open(endpoint.protocol());
        acceptor.set_option(tcp::acceptor::reuse_address(true));
        acceptor.bind(endpoint);
        acceptor.listen();
        port = acceptor.local_endpoint().port();
    }

    void releaseHolds() {
        for (auto& hold : std::exchange(holds, {})) {
            hold.resume();
        }
    }

    void closeConnections() {
        releaseHolds();
        for (const auto& weak : connections) {
            if (auto connection = weak.lock()) {
                connection->close();
            }
        }
        connections.clear();
        for (const auto& server : servers) {
            asio::co_spawn(context, server->stop(), asio::detached);
        }
        servers.clear();
    }
};

namespace {

using State = NetworkTestPeer::State;

std::shared_ptr<Server> makeServer(const std::shared_ptr<State>& state) {
    auto server = Server::create(state->context.get_executor(), "network-test-peer", "1.0.0", std::nullopt,
                                 ServerCapabilities{.tools = ServerCapabilities::Tools{true}},
                                 ServerConfiguration::defaultConfiguration());
    std::weak_ptr<Server> weakServer = server;
    server->registerMethodHandler<ListTools>([](ListTools::Parameters) -> asio::awaitable<ListTools::Result> {
        co_return ListTools::Result{{makeTool("echo", "Answers with its arguments"),
                                     makeTool("notify", "Sends a note, then answers"),
                                     makeTool("hold", "Answers when the connection goes")}};
    });
    server->registerMethodHandler<CallTool>(
        [weakServer, weakState = std::weak_ptr<State>(state)](
            CallTool::Parameters call) -> asio::awaitable<CallTool::Result> {
            const Value arguments = call.arguments ? Value(Value::Object(call.arguments->begin(), call.arguments->end()))
                                                   : Value(Value::Object{});
            if (call.name == "notify") {
                if (auto self = weakServer.lock()) {
                    co_await self->sendNotification(Message<PeerNoteNotification>(arguments));
                }
            } else if (call.name == "hold") {
                async::OneShot<void> released;
                if (auto peer = weakState.lock()) {
                    peer->holds.push_back(released);
                    std::lock_guard lock(peer->mutex);
                    ++peer->heldCalls;
                }
                co_await released.wait();
            }
            co_return CallTool::Result{{Tool::Content::text(writeJSON(arguments))}};
        });
    server->registerNotificationHandler<PeerNoteNotification>(
        [weakState = std::weak_ptr<State>(state)](Message<PeerNoteNotification> note) -> asio::awaitable<void> {
            if (auto peer = weakState.lock()) {
                {
                    std::lock_guard lock(peer->mutex);
                    peer->notes.push_back(writeJSON(note.params));
                }
                peer->changed.notify_all();
            }
            co_return;
        });
    return server;
}

asio::awaitable<void> acceptLoop(std::shared_ptr<State> state) {
    for (;;) {
        tcp::socket socket(state->context);
        auto [error] = co_await state->acceptor.async_accept(socket, withError);
        if (error) {
            co_return;
        }
        {
            std::lock_guard lock(state->mutex);
            ++state->accepted;
        }
        state->changed.notify_all();
        if (state->options.acceptAndClose) {
            continue;
        }
        std::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        auto transport = std::make_shared<PeerSocketTransport>(std::move(socket), state->options.heartbeatInterval);
        auto server = makeServer(state);
        state->connections.push_back(transport);
        state->servers.push_back(server);
        asio::co_spawn(state->context, server->start(transport), asio::detached);
    }
}

void runOnPeerThread(const std::shared_ptr<State>& state, const std::function<void(State&)>& change) {
    std::promise<void> done;
    asio::post(state->context, [&] {
        change(*state);
        done.set_value();
    });
    done.get_future().wait();
}

}  // namespace

NetworkTestPeer::NetworkTestPeer(Options options) : state_(std::make_shared<State>(options)) {
    state_->listen(0);
    asio::co_spawn(state_->context, acceptLoop(state_), asio::detached);
    thread_ = std::thread([state = state_] { state->context.run(); });
}

NetworkTestPeer::~NetworkTestPeer() {
    runOnPeerThread(state_, [](State& state) {
        std::error_code ignored;
        state.acceptor.close(ignored);
        state.closeConnections();
        state.work.reset();
    });
    thread_.join();
}

std::uint16_t NetworkTestPeer::port() const noexcept {
    return state_->port;
}

std::size_t NetworkTestPeer::connectionCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->accepted;
}

bool NetworkTestPeer::waitForConnectionCount(std::size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, deadline, [&] { return state_->accepted >= count; });
}

void NetworkTestPeer::dieMidMessage() {
    runOnPeerThread(state_, [](State& state) {
        for (const auto& weak : state.connections) {
            if (auto connection = weak.lock()) {
                connection->dieMidMessage();
            }
        }
    });
}

void NetworkTestPeer::stopListening() {
    runOnPeerThread(state_, [](State& state) {
        std::error_code ignored;
        state.acceptor.close(ignored);
        state.closeConnections();
    });
}

void NetworkTestPeer::listenAgain() {
    runOnPeerThread(state_, [shared = state_](State& state) {
        state.listen(state.port);
        asio::co_spawn(state.context, acceptLoop(shared), asio::detached);
    });
}

std::size_t NetworkTestPeer::heldCalls() const {
    std::lock_guard lock(state_->mutex);
    return state_->heldCalls;
}

std::vector<std::string> NetworkTestPeer::notes() const {
    std::lock_guard lock(state_->mutex);
    return state_->notes;
}

bool NetworkTestPeer::waitForNotes(std::size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, deadline, [&] { return state_->notes.size() >= count; });
}

}  // namespace lumenary::mcp::testing
