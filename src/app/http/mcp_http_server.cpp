#include "app/http/mcp_http_server.hpp"

#include "app/http/console_body.hpp"
#include "mcp/server/tool_methods.hpp"

namespace lumenary::http {

namespace {

std::shared_ptr<SessionTable> makeSessionTable(std::vector<asio::any_io_executor> executors,
                                               MCPHTTPServer::MakeSessionServer makeSessionServer,
                                               const MCPHTTPServer::Options& options,
                                               const std::shared_ptr<EventStreamRegistry>& streams) {
    SessionTable::Options tableOptions;
    tableOptions.idleTimeLimit = options.sessionIdleTimeLimit;
    tableOptions.maximumSessions = options.maximumSessions;
    // The table outlives no registry: both belong to one server, and the
    // registry holds sessions, not the table.
    std::weak_ptr<EventStreamRegistry> weakStreams = streams;
    return SessionTable::create(
        std::move(executors), std::move(makeSessionServer), tableOptions, options.console,
        [weakStreams](const HTTPSession& session, std::string_view message) {
            if (auto registry = weakStreams.lock()) registry->deliver(session, message);
        },
        [weakStreams](const HTTPSession& session) {
            if (auto registry = weakStreams.lock()) registry->closeStreamsOf(session);
        });
}

}  // namespace

std::shared_ptr<MCPHTTPServer> MCPHTTPServer::create(asio::any_io_executor executor,
                                                     MakeSessionServer makeSessionServer) {
    return create(std::move(executor), std::move(makeSessionServer), Options{});
}

std::shared_ptr<MCPHTTPServer> MCPHTTPServer::create(asio::any_io_executor executor,
                                                     MakeSessionServer makeSessionServer, Options options) {
    return create(std::vector<asio::any_io_executor>{std::move(executor)}, std::move(makeSessionServer),
                  std::move(options));
}

std::shared_ptr<MCPHTTPServer> MCPHTTPServer::create(std::vector<asio::any_io_executor> executors,
                                                     MakeSessionServer makeSessionServer, Options options) {
    return std::shared_ptr<MCPHTTPServer>(
        new MCPHTTPServer(std::move(executors), std::move(makeSessionServer), std::move(options)));
}

MCPHTTPServer::MCPHTTPServer(std::vector<asio::any_io_executor> executors, MakeSessionServer makeSessionServer,
                             Options options)
    : console_(options.console),
      showsBodies_(options.showsBodies),
      streams_(std::make_shared<EventStreamRegistry>(options.console, options.showsBodies)),
      sessions_(makeSessionTable(executors, std::move(makeSessionServer), options, streams_)),
      listener_(HTTPListener::create(
          executors, {options.maximumConnections, options.maximumBodyBytesInFlight}, options.console,
          [context = std::make_shared<const RouteContext>(RouteContext{
               sessions_, streams_, options.requestLimits, options.requestTimeLimit,
               EventStream::Options{options.heartbeatInterval, options.maximumStreamBacklogBytes}, options.console,
               options.showsBodies})](
              std::shared_ptr<HTTPConnection> connection) {
              return serveConnection(std::move(connection), context);
          })) {}

asio::awaitable<std::uint16_t> MCPHTTPServer::start(std::uint16_t preferredPort) {
    streams_->open();
    sessions_->open();
    std::exception_ptr failure;
    try {
        co_return co_await listener_->start(preferredPort);
    } catch (...) {
        failure = std::current_exception();
    }
    // Not listening, so nothing may be served either.
    streams_->closeAll();
    co_await sessions_->close();
    std::rethrow_exception(failure);
}

asio::awaitable<void> MCPHTTPServer::stop() {
    co_await listener_->stop();
    streams_->closeAll();
    co_await sessions_->close();
}

asio::awaitable<std::optional<std::uint16_t>> MCPHTTPServer::port() {
    return listener_->port();
}

asio::awaitable<std::vector<std::string>> MCPHTTPServer::sessionIDs() {
    std::vector<std::string> ids;
    for (const auto& session : sessions_->liveSessions()) {
        ids.push_back(session->id());
    }
    co_return ids;
}

asio::awaitable<void> MCPHTTPServer::notifyToolListChanged() {
    for (const auto& session : sessions_->liveSessions()) {
        std::exception_ptr failure;
        try {
            co_await session->server()->sendNotification(mcp::Message<mcp::ToolListChangedNotification>());
        } catch (...) {
            failure = std::current_exception();
        }
        if (failure) {
            console_.print("Failed to notify session ", session->id(), ": ", mcp::localizedDescription(failure));
        } else {
            console_.print("Sent ToolListChangedNotification to session: ", session->id());
        }
    }
}

asio::awaitable<void> MCPHTTPServer::broadcast(std::string message, std::string sessionID) {
    if (auto session = sessions_->find(sessionID)) {
        streams_->deliver(*session, message);
    } else if (console_.isEnabled()) {
        console_.print("Broadcasting to 0 clients for session ", sessionID, ": ",
                       consoleExcerpt(message, showsBodies_));
    }
    co_return;
}

}  // namespace lumenary::http
