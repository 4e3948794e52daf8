// Lifecycle and sessions of the HTTP server; the routes are in
// mcp_http_server_routing.cpp, the event streams in
// mcp_http_server_streams.cpp.
#include "app/http/mcp_http_server.hpp"

#include <algorithm>

#include <asio/detached.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>

#include "async/sleep_for.hpp"
#include "mcp/server/tool_methods.hpp"

namespace lumenary::http {

std::shared_ptr<MCPHTTPServer> MCPHTTPServer::create(asio::any_io_executor executor, MakeSessionServer makeSessionServer) {
    return create(std::move(executor), std::move(makeSessionServer), Options{});
}

std::shared_ptr<MCPHTTPServer> MCPHTTPServer::create(asio::any_io_executor executor, MakeSessionServer makeSessionServer,
                                                     Options options) {
    return std::shared_ptr<MCPHTTPServer>(
        new MCPHTTPServer(std::move(executor), std::move(makeSessionServer), std::move(options)));
}

MCPHTTPServer::MCPHTTPServer(asio::any_io_executor executor, MakeSessionServer makeSessionServer, Options options)
    : executor_(executor),
      strand_(asio::make_strand(executor)),
      makeSessionServer_(std::move(makeSessionServer)),
      options_(std::move(options)),
      console_(options_.console) {}

// Lifecycle

asio::awaitable<std::uint16_t> MCPHTTPServer::start(std::uint16_t preferredPort) {
    return onStrand(startOnStrand(preferredPort));
}

asio::awaitable<std::uint16_t> MCPHTTPServer::startOnStrand(std::uint16_t preferredPort) {
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
    std::vector<std::shared_ptr<tcp::acceptor>> listeners{
        listen(tcp::endpoint(asio::ip::address_v4::loopback(), preferredPort))};
    const std::uint16_t boundPort = listeners.front()->local_endpoint().port();
    try {
        listeners.push_back(listen(tcp::endpoint(asio::ip::address_v6::loopback(), boundPort)));
    } catch (const asio::system_error&) {
        // No IPv6 here, or its loopback port is taken: IPv4 serves alone.
    }

    listeners_ = listeners;
    port_ = boundPort;
    for (const auto& listener : listeners_) {
        asio::co_spawn(strand_, acceptLoop(listener), asio::detached);
    }
    expiryTask_ = async::Task::spawn(strand_, [self] { return self->expireIdleSessions(); });
    co_return boundPort;
}

asio::awaitable<void> MCPHTTPServer::stop() {
    return onStrand(stopOnStrand());
}

asio::awaitable<void> MCPHTTPServer::stopOnStrand() {
    const auto self = shared_from_this();
    for (const auto& listener : listeners_) {
        asio::error_code ignored;
        listener->close(ignored);
    }
    listeners_.clear();
    if (expiryTask_) {
        expiryTask_->cancel();
        expiryTask_.reset();
    }
    for (auto& [clientID, entry] : sseClients_) {
        entry.stream->close();
    }
    sseClients_.clear();
    port_.reset();
    for (const auto& connection : liveConnections()) {
        connection->close();
    }
    std::vector<std::string> ids;
    for (const auto& [id, session] : sessions_) ids.push_back(id);
    for (const auto& id : ids) {
        co_await removeSession(id);
    }
}

asio::awaitable<std::optional<std::uint16_t>> MCPHTTPServer::port() {
    return onStrand([](std::shared_ptr<MCPHTTPServer> self) -> asio::awaitable<std::optional<std::uint16_t>> {
        co_return self->port_;
    }(shared_from_this()));
}

asio::awaitable<void> MCPHTTPServer::acceptLoop(std::shared_ptr<asio::ip::tcp::acceptor> acceptor) {
    const auto self = shared_from_this();
    while (acceptor->is_open()) {
        co_await waitForConnectionSlot();
        if (!acceptor->is_open()) {
            break;
        }
        const asio::any_io_executor connectionStrand = asio::make_strand(executor_);
        asio::error_code error;
        auto socket =
            co_await acceptor->async_accept(connectionStrand, asio::redirect_error(asio::use_awaitable, error));
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
        auto connection = std::make_shared<HTTPConnection>(std::move(socket), number, console_);
        {
            std::lock_guard lock(connectionsMutex_);
            connections_.emplace(number, connection);
        }
        if (console_.isEnabled()) {
            console_.print("New connection from: ", connection->remoteDescription());
        }
        asio::co_spawn(connectionStrand, serveConnection(connection), asio::detached);
    }
}

asio::awaitable<void> MCPHTTPServer::waitForConnectionSlot() {
    for (;;) {
        async::OneShot<void> slot;
        {
            std::lock_guard lock(connectionsMutex_);
            if (connections_.size() < options_.maximumConnections) {
                co_return;
            }
            connectionSlotWaiters_.push_back(slot);
        }
        co_await slot.wait();
    }
}

void MCPHTTPServer::connectionEnded(std::uint64_t number) {
    std::vector<async::OneShot<void>> waiters;
    {
        std::lock_guard lock(connectionsMutex_);
        connections_.erase(number);
        waiters.swap(connectionSlotWaiters_);
    }
    for (auto& waiter : waiters) {
        waiter.resume();
    }
}

std::vector<std::shared_ptr<HTTPConnection>> MCPHTTPServer::liveConnections() {
    std::vector<std::shared_ptr<HTTPConnection>> live;
    std::lock_guard lock(connectionsMutex_);
    for (const auto& [number, weakConnection] : connections_) {
        if (auto connection = weakConnection.lock()) live.push_back(std::move(connection));
    }
    return live;
}

asio::awaitable<void> MCPHTTPServer::expireIdleSessions() {
    const auto limit = options_.sessionIdleTimeLimit;
    const auto interval =
        std::clamp<Clock::duration>(limit / 8, std::chrono::milliseconds(10), std::chrono::seconds(60));
    for (;;) {
        co_await async::sleepFor(interval);
        const auto now = Clock::now();
        std::vector<std::shared_ptr<Session>> expired;
        for (const auto& [id, session] : sessions_) {
            if (session->isReady && session->isIdle() && session->idleTime(now) >= limit) {
                expired.push_back(session);
            }
        }
        // Ended apart from this task: cancelling it while a session's server
        // stops would cut into that server's own strand hops.
        for (const auto& session : expired) {
            asio::co_spawn(
                strand_,
                [](std::shared_ptr<MCPHTTPServer> server, std::shared_ptr<Session> ending,
                   Clock::duration idleLimit) -> asio::awaitable<void> {
                    co_await server->endSession(std::move(ending), idleLimit);
                }(shared_from_this(), session, limit),
                asio::detached);
        }
    }
}

// Sessions

asio::awaitable<MCPHTTPServer::SessionState> MCPHTTPServer::getOrCreateSession(std::string sessionID) {
    const auto session = co_await onStrand(findOrCreateSession(std::move(sessionID), false));
    co_return session->state;
}

asio::awaitable<std::shared_ptr<MCPHTTPServer::Session>> MCPHTTPServer::acquireSession(std::string sessionID) {
    // Most requests name a live session: found under the lock, without a
    // trip to the strand and back.
    {
        std::lock_guard lock(sessionsMutex_);
        auto found = sessions_.find(sessionID);
        if (found != sessions_.end() && found->second->isReady) {
            ++found->second->busyRequests;
            found->second->touch();
            co_return found->second;
        }
    }
    co_return co_await onStrand(findOrCreateSession(std::move(sessionID), true));
}

void MCPHTTPServer::releaseSession(Session& session) {
    session.touch();
    --session.busyRequests;
}

asio::awaitable<std::shared_ptr<MCPHTTPServer::Session>> MCPHTTPServer::findOrCreateSession(std::string sessionID,
                                                                                            bool forRequest) {
    const auto self = shared_from_this();
    for (;;) {
        auto found = sessions_.find(sessionID);
        std::shared_ptr<Session> session;
        if (found == sessions_.end()) {
            session = co_await createSession(sessionID);
        } else if (!found->second->isReady) {
            // Another request is creating it: one session, created once.
            async::OneShot<void> ready;
            found->second->readyWaiters.push_back(ready);
            co_await ready.wait();
            continue;
        } else {
            session = found->second;
        }
        // Marked in the same step as the lookup, so that expiry cannot take
        // the session between the two.
        if (forRequest) {
            ++session->busyRequests;
            session->touch();
        }
        co_return session;
    }
}

asio::awaitable<std::shared_ptr<MCPHTTPServer::Session>> MCPHTTPServer::createSession(std::string sessionID) {
    auto session = std::make_shared<Session>(sessionID);
    {
        std::lock_guard lock(sessionsMutex_);
        sessions_[sessionID] = session;
    }
    std::exception_ptr failure;
    try {
        if (sessions_.size() > options_.maximumSessions) {
            co_await evictLongestIdleSession(session);
        }
        auto server = co_await makeSessionServer_(executor_);
        auto transport = HTTPStreamableServerTransport::create();
        transport->setBroadcaster([weak = weak_from_this(), sessionID](std::string message) {
            return broadcastFrom(weak, sessionID, std::move(message));
        });
        auto task = async::Task::spawn(executor_, [server, transport, sessionID, console = console_] {
            return runSession(server, transport, sessionID, console);
        });
        session->state = SessionState{std::move(server), std::move(transport), std::move(task)};
    } catch (...) {
        failure = std::current_exception();
    }

    auto waiters = std::exchange(session->readyWaiters, {});
    if (failure) {
        {
            std::lock_guard lock(sessionsMutex_);
            auto found = sessions_.find(sessionID);
            if (found != sessions_.end() && found->second == session) {
                sessions_.erase(found);
            }
        }
        for (auto& waiter : waiters) waiter.fail(failure);
        std::rethrow_exception(failure);
    }
    {
        std::lock_guard lock(sessionsMutex_);
        session->isReady = true;
    }
    for (auto& waiter : waiters) waiter.resume();
    console_.print("Created new session: ", sessionID);
    co_return session;
}

asio::awaitable<void> MCPHTTPServer::runSession(std::shared_ptr<mcp::Server> server,
                                                std::shared_ptr<HTTPStreamableServerTransport> transport,
                                                std::string sessionID, logging::Console console) {
    std::exception_ptr failure;
    try {
        co_await server->start(transport);
        co_await server->waitForCompletion();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure) {
        co_return;
    }
    // A session ended before its server started has nothing to report.
    bool endedFirst = false;
    try {
        std::rethrow_exception(failure);
    } catch (const mcp::MCPError& error) {
        endedFirst = error.errorCase() == mcp::MCPError::Case::connectionClosed;
    } catch (...) {
    }
    if (!endedFirst) {
        console.print("Session ", sessionID, " server error: ", mcp::localizedDescription(failure));
    }
    // Nobody would ever answer its exchanges.
    co_await transport->disconnect();
}

asio::awaitable<void> MCPHTTPServer::evictLongestIdleSession(const std::shared_ptr<Session>& keep) {
    const auto now = Clock::now();
    std::shared_ptr<Session> victim;
    for (const auto& [id, session] : sessions_) {
        if (session == keep || !session->isReady) {
            continue;
        }
        // Sessions in use go only when every session is in use.
        const bool better = !victim || (session->isIdle() && !victim->isIdle()) ||
                            (session->isIdle() == victim->isIdle() && session->idleTime(now) > victim->idleTime(now));
        if (better) victim = session;
    }
    if (victim) {
        console_.print("Session ", victim->id, " removed: too many sessions");
        co_await endSession(victim);
    }
}

asio::awaitable<void> MCPHTTPServer::removeSession(std::string sessionID) {
    return onStrand([](std::shared_ptr<MCPHTTPServer> self, std::string id) -> asio::awaitable<void> {
        for (;;) {
            auto found = self->sessions_.find(id);
            if (found == self->sessions_.end()) {
                co_return;
            }
            if (found->second->isReady) {
                co_await self->endSession(found->second);
                co_return;
            }
            async::OneShot<void> ready;
            found->second->readyWaiters.push_back(ready);
            try {
                co_await ready.wait();
            } catch (...) {
                // Its creation failed: there is nothing to remove.
            }
        }
    }(shared_from_this(), std::move(sessionID)));
}

asio::awaitable<void> MCPHTTPServer::endSession(std::shared_ptr<Session> session,
                                                std::optional<Clock::duration> idleFor) {
    {
        // Decided under the lock that requests take sessions under, so that
        // an expiring session cannot be taken at the same moment.
        std::lock_guard lock(sessionsMutex_);
        auto found = sessions_.find(session->id);
        if (found == sessions_.end() || found->second != session) {
            co_return;
        }
        if (idleFor && !(session->isIdle() && session->idleTime(Clock::now()) >= *idleFor)) {
            co_return;
        }
        sessions_.erase(found);
    }
    if (idleFor) {
        console_.print("Session ", session->id, " expired after being idle");
    }
    // Nothing would ever come on them again.
    for (auto entry = sseClients_.begin(); entry != sseClients_.end();) {
        if (entry->second.session == session) {
            entry->second.stream->close();
            entry = sseClients_.erase(entry);
        } else {
            ++entry;
        }
    }
    // The server task ends by itself once the server has stopped; cancelling
    // it would cut into the server's own strand hops.
    const SessionState state = session->state;
    co_await state.server->stop();
    co_await state.transport->disconnect();
    console_.print("Cleaned up session: ", session->id);
}

asio::awaitable<std::vector<std::string>> MCPHTTPServer::sessionIDs() {
    return onStrand([](std::shared_ptr<MCPHTTPServer> self) -> asio::awaitable<std::vector<std::string>> {
        std::vector<std::string> ids;
        for (const auto& [id, session] : self->sessions_) {
            if (session->isReady) ids.push_back(id);
        }
        co_return ids;
    }(shared_from_this()));
}

asio::awaitable<void> MCPHTTPServer::notifyToolListChanged() {
    return onStrand([](std::shared_ptr<MCPHTTPServer> self) -> asio::awaitable<void> {
        std::vector<std::shared_ptr<Session>> sessions;
        for (const auto& [id, session] : self->sessions_) {
            if (session->isReady) sessions.push_back(session);
        }
        for (const auto& session : sessions) {
            std::exception_ptr failure;
            try {
                mcp::Message<mcp::ToolListChangedNotification> notification;
                co_await session->state.server->sendNotification(std::move(notification));
            } catch (...) {
                failure = std::current_exception();
            }
            if (failure) {
                self->console_.print("Failed to notify session ", session->id, ": ",
                                     mcp::localizedDescription(failure));
            } else {
                self->console_.print("Sent ToolListChangedNotification to session: ", session->id);
            }
        }
    }(shared_from_this()));
}

}  // namespace lumenary::http
