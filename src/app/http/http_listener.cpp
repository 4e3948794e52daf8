#include "app/http/http_listener.hpp"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "app/http/allocator_trim.hpp"
#include "app/http/loopback_acceptors.hpp"
#include "async/on_strand.hpp"

namespace lumenary::http {

namespace {

// The next connection, its descriptor close-on-exec from its first instant:
// asio's own accept leaves the flag off, and a child started meanwhile, on
// any thread, would hold the connection open after we close it. Its peer's
// address comes with it.
asio::awaitable<asio::ip::tcp::socket> acceptCloseOnExec(asio::ip::tcp::acceptor& acceptor, asio::ip::tcp protocol,
                                                         asio::ip::tcp::endpoint& peer, asio::error_code& error) {
    asio::ip::tcp::socket socket(acceptor.get_executor());
    // A connection reset before we take it would otherwise block the thread.
    if (!acceptor.non_blocking()) {
        acceptor.non_blocking(true, error);
    }
    // Take a waiting connection at once; wait for readiness only when none
    // is there, as asio's own accept does.
    while (!error) {
        auto peerLength = static_cast<socklen_t>(peer.capacity());
        const int descriptor = ::accept4(acceptor.native_handle(), peer.data(), &peerLength, SOCK_CLOEXEC);
        if (descriptor >= 0) {
            peer.resize(peerLength);
            socket.assign(protocol, descriptor, error);
            if (error) {
                ::close(descriptor);
            }
            break;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            co_await acceptor.async_wait(asio::ip::tcp::acceptor::wait_read,
                                         asio::redirect_error(asio::use_awaitable, error));
        } else if (errno != ECONNABORTED && errno != EINTR) {
            error = asio::error_code(errno, asio::error::get_system_category());
        }
    }
    co_return socket;
}

// A body this large leaves memory the allocator would keep once it is gone.
constexpr std::size_t largeBodyBytes = 1024 * 1024;
constexpr auto bodyTrimDelay = std::chrono::milliseconds(250);

// Closes an acceptor on the executor it is used on, where its accept loop
// then sees it closed.
asio::awaitable<void> closeAcceptor(std::shared_ptr<asio::ip::tcp::acceptor> acceptor) {
    asio::error_code ignored;
    acceptor->close(ignored);
    co_return;
}

}  // namespace

std::shared_ptr<HTTPListener> HTTPListener::create(std::vector<asio::any_io_executor> executors, Limits limits,
                                                   logging::Console console, Serve serve) {
    return std::shared_ptr<HTTPListener>(
        new HTTPListener(std::move(executors), limits, std::move(console), std::move(serve)));
}

HTTPListener::HTTPListener(std::vector<asio::any_io_executor> executors, Limits limits, logging::Console console,
                           Serve serve)
    : executors_(std::move(executors)),
      strand_(asio::make_strand(executors_.front())),
      limits_(limits),
      console_(std::move(console)),
      serve_(std::move(serve)),
      bodyBudget_(BodyBudget::create(limits.maximumBodyBytesInFlight,
                                     [trim = AllocatorTrim::create(bodyTrimDelay), executor = executors_.front()](
                                         std::size_t releasedBytes) {
                                         if (releasedBytes >= largeBodyBytes) trim->request(executor);
                                     })),
      connections_(std::make_shared<ConnectionTable>(limits.maximumConnections)) {}

asio::awaitable<std::uint16_t> HTTPListener::start(std::uint16_t preferredPort) {
    return async::onStrand(strand_, startOnStrand(preferredPort));
}

asio::awaitable<std::uint16_t> HTTPListener::startOnStrand(std::uint16_t preferredPort) {
    const auto self = shared_from_this();
    if (port_) {
        co_return *port_;
    }
    auto listening = listenOnLoopback(executors_, preferredPort);
    acceptors_ = std::move(listening.acceptors);
    port_ = listening.port;
    for (const auto& acceptor : acceptors_) {
        asio::co_spawn(acceptor->get_executor(), acceptLoop(weak_from_this(), acceptor), asio::detached);
    }
    co_return listening.port;
}

asio::awaitable<void> HTTPListener::stop() {
    return async::onStrand(strand_, stopOnStrand());
}

asio::awaitable<void> HTTPListener::stopOnStrand() {
    const auto self = shared_from_this();
    const auto closing = std::exchange(acceptors_, {});
    for (const auto& acceptor : closing) {
        co_await asio::co_spawn(acceptor->get_executor(), closeAcceptor(acceptor), asio::use_awaitable);
    }
    port_.reset();
    connections_->closeAll();
}

asio::awaitable<std::optional<std::uint16_t>> HTTPListener::port() {
    return async::readOnStrand(strand_, shared_from_this(), &HTTPListener::port_);
}

asio::awaitable<void> HTTPListener::acceptLoop(std::weak_ptr<HTTPListener> weakSelf,
                                               std::shared_ptr<asio::ip::tcp::acceptor> acceptor) {
    // The listener is held only between suspensions: a loop on another
    // thread's context must never be the one that destroys it, as it holds a
    // strand of the first context, which may be gone by then.
    std::shared_ptr<ConnectionTable> connections;
    if (auto self = weakSelf.lock()) {
        connections = self->connections_;
    } else {
        co_return;
    }
    asio::error_code unbound;
    const auto protocol = acceptor->local_endpoint(unbound).protocol();
    while (acceptor->is_open()) {
        co_await connections->waitForSlot();
        if (!acceptor->is_open()) {
            break;
        }
        asio::error_code error;
        asio::ip::tcp::endpoint peer;
        auto socket = co_await acceptCloseOnExec(*acceptor, protocol, peer, error);
        if (error == asio::error::operation_aborted || !acceptor->is_open()) {
            break;
        }
        if (error) {
            // Out of descriptors, say: pause instead of spinning on the error.
            asio::steady_timer pause(acceptor->get_executor(), std::chrono::milliseconds(100));
            co_await pause.async_wait(asio::redirect_error(asio::use_awaitable, error));
            continue;
        }
        auto self = weakSelf.lock();
        if (!self) {
            break;
        }
        asio::co_spawn(acceptor->get_executor(), self->serve_(self->admit(std::move(socket), std::move(peer))),
                       asio::detached);
    }
}

std::shared_ptr<HTTPConnection> HTTPListener::admit(asio::ip::tcp::socket socket, asio::ip::tcp::endpoint peer) {
    const auto number = ++nextConnectionNumber_;
    auto ended = [table = std::weak_ptr<ConnectionTable>(connections_), number] {
        if (auto connections = table.lock()) connections->remove(number);
    };
    auto connection = std::make_shared<HTTPConnection>(std::move(socket), std::move(peer), number, console_,
                                                       bodyBudget_, std::move(ended));
    connections_->add(number, connection);
    if (connection->console().isEnabled()) {
        connection->console().print("New connection from: ", connection->remoteDescription());
    }
    return connection;
}

}  // namespace lumenary::http
