#include "app/http/http_listener.hpp"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include "async/on_strand.hpp"

namespace lumenary::http {

std::shared_ptr<HTTPListener> HTTPListener::create(asio::any_io_executor executor, Limits limits,
                                                   logging::Console console, Serve serve) {
    return std::shared_ptr<HTTPListener>(
        new HTTPListener(std::move(executor), limits, std::move(console), std::move(serve)));
}

HTTPListener::HTTPListener(asio::any_io_executor executor, Limits limits, logging::Console console, Serve serve)
    : executor_(executor),
      strand_(asio::make_strand(executor)),
      limits_(limits),
      console_(std::move(console)),
      serve_(std::move(serve)),
      bodyBudget_(BodyBudget::create(limits.maximumBodyBytesInFlight)),
      connections_(std::make_shared<ConnectionTable>(limits.maximumConnections)) {}

asio::awaitable<std::uint16_t> HTTPListener::start(std::uint16_t preferredPort) {
    return async::onStrand(strand_, startOnStrand(preferredPort));
}

asio::awaitable<std::uint16_t> HTTPListener::startOnStrand(std::uint16_t preferredPort) {
    const auto self = shared_from_this();
    if (port_) {
        co_return *port_;
    }
    using asio::ip::tcp;
    // Loopback only: on any other interface, anybody on the network could
    // call every tool.
    auto listen = [this](const tcp::endpoint& endpoint) {
        auto acceptor = std::make_shared<tcp::acceptor>(strand_);
        acceptor->open(endpoint.protocol());
        acceptor->set_option(tcp::acceptor::reuse_address(true));
        if (endpoint.protocol() == tcp::v6()) {
            acceptor->set_option(asio::ip::v6_only(true));
        }
        acceptor->bind(endpoint);
        acceptor->listen();
        return acceptor;
    };
    std::vector<std::shared_ptr<tcp::acceptor>> acceptors{
        listen(tcp::endpoint(asio::ip::address_v4::loopback(), preferredPort))};
    const std::uint16_t boundPort = acceptors.front()->local_endpoint().port();
    try {
        acceptors.push_back(listen(tcp::endpoint(asio::ip::address_v6::loopback(), boundPort)));
    } catch (const asio::system_error&) {
        // No IPv6 here, or its loopback port is taken: IPv4 serves alone.
    }

    acceptors_ = acceptors;
    port_ = boundPort;
    for (const auto& acceptor : acceptors_) {
        asio::co_spawn(strand_, acceptLoop(acceptor), asio::detached);
    }
    co_return boundPort;
}

asio::awaitable<void> HTTPListener::stop() {
    return async::onStrand(strand_, stopOnStrand());
}

asio::awaitable<void> HTTPListener::stopOnStrand() {
    const auto self = shared_from_this();
    for (const auto& acceptor : acceptors_) {
        asio::error_code ignored;
        acceptor->close(ignored);
    }
    acceptors_.clear();
    port_.reset();
    connections_->closeAll();
    co_return;
}

asio::awaitable<std::optional<std::uint16_t>> HTTPListener::port() {
    return async::readOnStrand(strand_, shared_from_this(), &HTTPListener::port_);
}

asio::awaitable<void> HTTPListener::acceptLoop(std::shared_ptr<asio::ip::tcp::acceptor> acceptor) {
    const auto self = shared_from_this();
    asio::error_code unbound;
    const auto protocol = acceptor->local_endpoint(unbound).protocol();
    while (acceptor->is_open()) {
        co_await connections_->waitForSlot();
        if (!acceptor->is_open()) {
            break;
        }
        asio::error_code error;
        auto socket = co_await acceptor->async_accept(executor_, asio::redirect_error(asio::use_awaitable, error));
        if (error == asio::error::operation_aborted || !acceptor->is_open()) {
            break;
        }
        if (error) {
            // Out of descriptors, say: pause instead of spinning on the error.
            asio::steady_timer pause(strand_, std::chrono::milliseconds(100));
            co_await pause.async_wait(asio::redirect_error(asio::use_awaitable, error));
            continue;
        }
        const auto number = ++nextConnectionNumber_;
        auto ended = [table = std::weak_ptr<ConnectionTable>(connections_), number] {
            if (auto connections = table.lock()) connections->remove(number);
        };
        auto connection = std::make_shared<HTTPConnection>(std::move(socket), protocol, number,
                                                           console_, bodyBudget_, std::move(ended));
        connections_->add(number, connection);
        if (console_.isEnabled()) {
            console_.print("New connection from: ", connection->remoteDescription());
        }
        asio::co_spawn(executor_, serve_(std::move(connection)), asio::detached);
    }
}

}  // namespace lumenary::http
