#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/strand.hpp>
#include <asio/use_awaitable.hpp>

#include "logging/console.hpp"
#include "app/http/event_stream.hpp"
#include "app/http/http_connection.hpp"
#include "app/http/http_request_parser.hpp"
#include "app/http/http_response.hpp"
#include "app/http/http_streamable_server_transport.hpp"
#include "async/one_shot.hpp"
#include "async/task.hpp"
#include "mcp/server/server.hpp"

namespace lumenary::http {

// The HTTP server through which Streamable-HTTP MCP clients reach the
// program: a listener on the loopback interface, the connections it accepts
// (one request each), the MCP sessions named by the "Mcp-Session-Id" header,
// each with its own MCP Server on its own HTTPStreamableServerTransport, and
// the event streams that carry what a session's server sends on its own.
//
// Routes on "/mcp" (and "/sse", except DELETE): OPTIONS answers the CORS
// pre-flight, POST hands one JSON-RPC message or batch to the session's
// server and answers with its reply, GET opens an event stream, DELETE ends
// a session. Requests from another origin, or for another host, are refused.
//
// Sessions end when their client deletes them, when an event stream opened
// for them ends, after a time without requests or streams, when the number of
// sessions reaches its limit (the longest idle goes), or when the server
// stops.
//
// Its state lives on its own strand (the session table under a lock as well,
// so that requests find live sessions without a hop); connections and streams
// run on strands of their own, so the executor may be run by several threads.
class MCPHTTPServer : public std::enable_shared_from_this<MCPHTTPServer> {
public:
    using Clock = std::chrono::steady_clock;
    // Makes a new session's MCP server, its handlers installed, on the
    // executor given; the server is started by the session.
    using MakeSessionServer = std::function<asio::awaitable<std::shared_ptr<mcp::Server>>(asio::any_io_executor)>;

    struct Options {
        HTTPRequestLimits requestLimits;
        // The whole request must arrive within this time.
        Clock::duration requestTimeLimit = std::chrono::seconds(30);
        Clock::duration heartbeatInterval = std::chrono::seconds(15);
        // Unwritten bytes an event stream may hold before it is closed.
        std::size_t maximumStreamBacklogBytes = 1024 * 1024;
        // A session without requests or open streams for this long ends.
        Clock::duration sessionIdleTimeLimit = std::chrono::minutes(30);
        std::size_t maximumSessions = 1024;
        // Open connections, event streams included; accepting waits at the
        // limit.
        std::size_t maximumConnections = 1024;
        logging::Console console = logging::Console::standardError("[MCPHTTPServer] ");
    };

    // One session's MCP server, its transport and the task that runs them.
    struct SessionState {
        std::shared_ptr<mcp::Server> server;
        std::shared_ptr<HTTPStreamableServerTransport> transport;
        std::optional<async::Task> serverTask;
    };

    static std::shared_ptr<MCPHTTPServer> create(asio::any_io_executor executor, MakeSessionServer makeSessionServer);
    static std::shared_ptr<MCPHTTPServer> create(asio::any_io_executor executor, MakeSessionServer makeSessionServer,
                                                 Options options);

    MCPHTTPServer(const MCPHTTPServer&) = delete;
    MCPHTTPServer& operator=(const MCPHTTPServer&) = delete;

    // Listens on 127.0.0.1 (and on ::1 where the system has it) and returns
    // the port: `preferredPort`, or one the system chose when it is 0. While
    // running it returns the running port whatever is asked. Throws the
    // system's error (an asio::system_error) when it cannot listen.
    asio::awaitable<std::uint16_t> start(std::uint16_t preferredPort);

    // Stops listening, closes every connection and event stream and ends
    // every session. The server may be started again. Call it before letting
    // the server go: until then its tasks keep it alive.
    asio::awaitable<void> stop();

    // The port while running.
    asio::awaitable<std::optional<std::uint16_t>> port();

    // The session under an id, created on first use; concurrent first uses
    // of one id create it once.
    asio::awaitable<SessionState> getOrCreateSession(std::string sessionID);
    // Ends a session when it exists; does nothing otherwise.
    asio::awaitable<void> removeSession(std::string sessionID);
    // The ids of the live sessions.
    asio::awaitable<std::vector<std::string>> sessionIDs();

    // Sends the tool list-changed notification through every session's
    // server; each reaches the event streams of its own session.
    asio::awaitable<void> notifyToolListChanged();

    // Writes a message as a data event to the open event streams of one
    // session. A session's transport calls it for every message that answers
    // no waiting POST.
    asio::awaitable<void> broadcast(std::string message, std::string sessionID);

private:
    // A session with what expiry and eviction go by.
    struct Session {
        explicit Session(std::string sessionID) : id(std::move(sessionID)) { touch(); }

        void touch() { lastActivity.store(Clock::now().time_since_epoch().count()); }
        Clock::duration idleTime(Clock::time_point now) const {
            return now.time_since_epoch() - Clock::duration(lastActivity.load());
        }
        bool isIdle() const { return busyRequests.load() == 0 && openStreams == 0; }

        const std::string id;

        // Strand-owned; `isReady` changes under the sessions lock too.
        SessionState state;
        bool isReady = false;
        std::vector<async::OneShot<void>> readyWaiters;
        int openStreams = 0;

        // Also changed by the connections that use the session.
        std::atomic<int> busyRequests{0};
        std::atomic<Clock::rep> lastActivity{0};
    };
    struct StreamEntry {
        std::shared_ptr<EventStream> stream;
        std::shared_ptr<Session> session;
    };

    MCPHTTPServer(asio::any_io_executor executor, MakeSessionServer makeSessionServer, Options options);

    template <typename T>
    asio::awaitable<T> onStrand(asio::awaitable<T> body) {
        return asio::co_spawn(strand_, std::move(body), asio::use_awaitable);
    }

    // Lifecycle (on the strand).
    asio::awaitable<std::uint16_t> startOnStrand(std::uint16_t preferredPort);
    asio::awaitable<void> stopOnStrand();
    asio::awaitable<void> acceptLoop(std::shared_ptr<asio::ip::tcp::acceptor> acceptor);
    asio::awaitable<void> waitForConnectionSlot();
    void connectionEnded(std::uint64_t number);
    std::vector<std::shared_ptr<HTTPConnection>> liveConnections();
    asio::awaitable<void> expireIdleSessions();

    // Sessions (on the strand).
    asio::awaitable<std::shared_ptr<Session>> findOrCreateSession(std::string sessionID, bool forRequest);
    asio::awaitable<std::shared_ptr<Session>> createSession(std::string sessionID);
    asio::awaitable<void> evictLongestIdleSession(const std::shared_ptr<Session>& keep);
    // With `idleFor`, only when the session is still that idle.
    asio::awaitable<void> endSession(std::shared_ptr<Session> session,
                                     std::optional<Clock::duration> idleFor = std::nullopt);
    static asio::awaitable<void> runSession(std::shared_ptr<mcp::Server> server,
                                            std::shared_ptr<HTTPStreamableServerTransport> transport,
                                            std::string sessionID, logging::Console console);
    static asio::awaitable<void> broadcastFrom(std::weak_ptr<MCPHTTPServer> server, std::string sessionID,
                                               std::string message);
    // On the strand: queues a data event on each of the session's streams.
    static asio::awaitable<void> deliver(std::shared_ptr<MCPHTTPServer> self, std::string message,
                                         std::string sessionID);

    // Event streams.
    asio::awaitable<bool> registerStream(std::shared_ptr<EventStream> stream, std::shared_ptr<Session> session);
    asio::awaitable<void> streamEnded(std::shared_ptr<EventStream> stream);

    // Connections and routes (on each connection's strand).
    asio::awaitable<void> serveConnection(std::shared_ptr<HTTPConnection> connection);
    // True when the connection became an event stream and stays open.
    asio::awaitable<bool> handleRequest(HTTPRequest request, std::shared_ptr<HTTPConnection> connection);
    asio::awaitable<void> handlePost(HTTPRequest request, std::shared_ptr<HTTPConnection> connection);
    // True when the stream took the connection over.
    asio::awaitable<bool> handleEventStream(HTTPRequest request, std::shared_ptr<HTTPConnection> connection);
    asio::awaitable<void> handleDelete(HTTPRequest request, std::shared_ptr<HTTPConnection> connection);
    asio::awaitable<void> sendHTTPResponse(std::shared_ptr<HTTPConnection> connection, int status,
                                           std::string_view statusText, const HTTPHeaders& headers,
                                           std::string_view body);
    // A session for one request: counted busy until released.
    asio::awaitable<std::shared_ptr<Session>> acquireSession(std::string sessionID);
    static void releaseSession(Session& session);

    const asio::any_io_executor executor_;
    asio::strand<asio::any_io_executor> strand_;
    const MakeSessionServer makeSessionServer_;
    const Options options_;
    const logging::Console console_;

    // Strand-owned.
    std::vector<std::shared_ptr<asio::ip::tcp::acceptor>> listeners_;
    std::optional<std::uint16_t> port_;
    std::map<std::string, StreamEntry> sseClients_;
    std::uint64_t nextConnectionNumber_ = 0;
    std::optional<async::Task> expiryTask_;

    // Changed on the strand under the lock; requests look sessions up under
    // the lock alone.
    std::mutex sessionsMutex_;
    std::map<std::string, std::shared_ptr<Session>> sessions_;

    // Connections end on their own strands.
    std::mutex connectionsMutex_;
    std::map<std::uint64_t, std::weak_ptr<HTTPConnection>> connections_;
    std::vector<async::OneShot<void>> connectionSlotWaiters_;
};

}  // namespace lumenary::http
