// Event streams of the HTTP server: registration, delivery of what a
// session's server sends on its own, and the end of a stream.
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include "app/http/event_stream_text.hpp"
#include "app/http/mcp_http_server.hpp"

namespace lumenary::http {

asio::awaitable<void> MCPHTTPServer::broadcastFrom(std::weak_ptr<MCPHTTPServer> server, std::string sessionID,
                                                   std::string message) {
    // Handed to the strand, not awaited: delivery only queues, and the
    // sender may be a server's message loop, whose cancellation must not
    // reach into a hop it has started. Hops to one strand keep their order.
    if (auto self = server.lock()) {
        asio::co_spawn(self->strand_, deliver(self, std::move(message), std::move(sessionID)), asio::detached);
    }
    co_return;
}

asio::awaitable<void> MCPHTTPServer::broadcast(std::string message, std::string sessionID) {
    return onStrand(deliver(shared_from_this(), std::move(message), std::move(sessionID)));
}

asio::awaitable<void> MCPHTTPServer::deliver(std::shared_ptr<MCPHTTPServer> self, std::string message,
                                             std::string sessionID) {
    // Only the sending session's own streams: another session's client must
    // never see this one's messages.
    std::vector<std::shared_ptr<EventStream>> streams;
    const auto session = self->sessions_.find(sessionID);
    for (const auto& [clientID, entry] : self->sseClients_) {
        if (session != self->sessions_.end() && entry.session == session->second) {
            streams.push_back(entry.stream);
        }
    }
    if (self->console_.isEnabled()) {
        self->console_.print("Broadcasting to ", std::to_string(streams.size()), " clients for session ", sessionID,
                             ": ", logging::leadingCharacters(message, 100), "...");
    }
    const std::string event = dataEvent(message);
    for (const auto& stream : streams) {
        stream->send(event);
    }
    co_return;
}

asio::awaitable<bool> MCPHTTPServer::registerStream(std::shared_ptr<EventStream> stream,
                                                    std::shared_ptr<Session> session) {
    return onStrand([](std::shared_ptr<MCPHTTPServer> self, std::shared_ptr<EventStream> opened,
                       std::shared_ptr<Session> owner) -> asio::awaitable<bool> {
        auto current = self->sessions_.find(owner->id);
        if (!self->port_ || current == self->sessions_.end() || current->second != owner) {
            co_return false;
        }
        ++owner->openStreams;
        const std::string clientID = opened->clientID();
        self->sseClients_.emplace(clientID, StreamEntry{std::move(opened), std::move(owner)});
        co_return true;
    }(shared_from_this(), std::move(stream), std::move(session)));
}

asio::awaitable<void> MCPHTTPServer::streamEnded(std::shared_ptr<EventStream> stream) {
    connectionEnded(stream->connectionNumber());
    auto found = sseClients_.find(stream->clientID());
    if (found == sseClients_.end() || found->second.stream != stream) {
        co_return;
    }
    const auto session = found->second.session;
    sseClients_.erase(found);
    --session->openStreams;
    session->touch();
    // The stream was the session's way back to its client.
    co_await endSession(session);
}

}  // namespace lumenary::http
