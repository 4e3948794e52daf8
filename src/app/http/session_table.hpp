#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "app/http/allocator_trim.hpp"
#include "app/http/http_streamable_server_transport.hpp"
#include "async/one_shot.hpp"
#include "async/task.hpp"
#include "logging/console.hpp"
#include "mcp/server/server.hpp"

namespace lumenary::http {

class SessionTable;

// One MCP session of the endpoint: its own Server on its own transport, run
// by its own task on its executor, one of the endpoint's threads, chosen as
// the session is made. What a client reaches through it is set
// before the session is handed out and never changes; what the table keeps
// about its use is the table's.
class HTTPSession {
public:
    using Clock = std::chrono::steady_clock;

    HTTPSession(std::string id, asio::any_io_executor executor) : id_(std::move(id)), executor_(std::move(executor)) {}

    const std::string& id() const noexcept { return id_; }
    // Where the session's server, its transport and its exchanges run, and
    // where each of its requests is served.
    const asio::any_io_executor& executor() const noexcept { return executor_; }
    const std::shared_ptr<mcp::Server>& server() const noexcept { return server_; }
    const std::shared_ptr<HTTPStreamableServerTransport>& transport() const noexcept { return transport_; }

private:
    friend class SessionTable;

    bool isIdle() const { return busyRequests_ == 0 && openStreams_ == 0; }

    const std::string id_;
    const asio::any_io_executor executor_;
    std::shared_ptr<mcp::Server> server_;
    std::shared_ptr<HTTPStreamableServerTransport> transport_;
    std::optional<async::Task> task_;

    // The table's bookkeeping, under its lock.
    std::size_t executorIndex_ = 0;
    bool isReady_ = false;
    bool hasEnded_ = false;
    std::vector<async::OneShot<void>> readyWaiters_;
    int busyRequests_ = 0;
    int openStreams_ = 0;
    Clock::time_point lastActivity_ = Clock::now();
};

// The live sessions by id: it creates a session on its first use (once, also
// when several first requests come together), on the executor that request
// is served on, or else on the one with the fewest sessions, and ends
// sessions when asked, when they have been idle too long, and, longest idle
// first, when there are too many. After a burst of sessions ended it has the allocator give the
// memory back.
//
// Its state, the bookkeeping of every session included, sits under its
// mutex, held for a few steps at a time and never across a suspension.
class SessionTable : public std::enable_shared_from_this<SessionTable> {
public:
    using Clock = HTTPSession::Clock;
    // Makes a new session's MCP server, its handlers installed, on the
    // executor given; the server is started by the session.
    using MakeSessionServer = std::function<asio::awaitable<std::shared_ptr<mcp::Server>>(asio::any_io_executor)>;
    // What a session's server sends that answers no waiting POST.
    using Deliver = std::function<void(const HTTPSession& session, std::string_view message)>;
    // Called once as a session ends, before its server stops.
    using SessionEnded = std::function<void(const HTTPSession& session)>;

    struct Options {
        // A session without requests or open streams for this long ends.
        Clock::duration idleTimeLimit = std::chrono::minutes(30);
        std::size_t maximumSessions = 1024;
        HTTPStreamableServerTransport::Limits transportLimits;
    };

    // Each executor is run by one thread (or is a strand); there is at least
    // one.
    static std::shared_ptr<SessionTable> create(std::vector<asio::any_io_executor> executors,
                                                MakeSessionServer makeSessionServer, Options options,
                                                logging::Console console, Deliver deliver, SessionEnded sessionEnded);

    SessionTable(const SessionTable&) = delete;
    SessionTable& operator=(const SessionTable&) = delete;

    // Takes sessions from now on and starts expiring idle ones.
    void open();
    // Takes no more sessions and ends every one, one after another; returns
    // once every session that was ending has ended as well.
    asio::awaitable<void> close();

    // The session under an id for one request, created on first use, on
    // `requestExecutor` when it is one of the table's; it counts as busy,
    // and cannot expire, until released. Throws what making its server
    // threw, or an internal error while the table is closed.
    asio::awaitable<std::shared_ptr<HTTPSession>> acquire(std::string sessionID,
                                                          asio::any_io_executor requestExecutor = {});
    void release(HTTPSession& session);

    // Counts a stream opened for the session; false once the session has
    // ended, so a stream can never outlive it.
    bool streamOpened(HTTPSession& session);
    void streamClosed(HTTPSession& session);

    // Ends the session under an id when it exists.
    asio::awaitable<void> remove(std::string sessionID);
    // Ends this very session, unless it has ended already.
    asio::awaitable<void> end(std::shared_ptr<HTTPSession> session);

    std::shared_ptr<HTTPSession> find(std::string_view sessionID);
    // The sessions ready to serve, in the order of their ids.
    std::vector<std::shared_ptr<HTTPSession>> liveSessions();

private:
    SessionTable(std::vector<asio::any_io_executor> executors, MakeSessionServer makeSessionServer, Options options,
                 logging::Console console, Deliver deliver, SessionEnded sessionEnded);

    using Entry = std::map<std::string, std::shared_ptr<HTTPSession>, std::less<>>::iterator;
    // The executor for a new session; call under the lock.
    std::size_t executorForNewSession(const asio::any_io_executor& requestExecutor) const;
    // Takes an entry out of the table; call under the lock.
    Entry erase(Entry entry);

    asio::awaitable<void> create(std::shared_ptr<HTTPSession> session);
    asio::awaitable<void> evictLongestIdle(const std::shared_ptr<HTTPSession>& keep);
    asio::awaitable<void> expireIdleSessions();
    // Marks a session taken out of the table as ending; call under the lock,
    // and shut it down after.
    void beginEnding(HTTPSession& session);
    // Takes the session out of the table under the lock; false when it was
    // no longer there.
    bool takeOut(const HTTPSession& session);
    // Closes what the session had and stops its server; it is out of the
    // table already, and marked as ending.
    asio::awaitable<void> shutDown(std::shared_ptr<HTTPSession> session);
    static asio::awaitable<void> runSession(std::shared_ptr<mcp::Server> server,
                                            std::shared_ptr<HTTPStreamableServerTransport> transport,
                                            std::string sessionID, logging::Console console);

    const std::vector<asio::any_io_executor> executors_;
    const std::shared_ptr<AllocatorTrim> allocatorTrim_;
    const MakeSessionServer makeSessionServer_;
    const Options options_;
    const logging::Console console_;
    const Deliver deliver_;
    const SessionEnded sessionEnded_;

    std::mutex mutex_;
    bool isOpen_ = false;
    std::map<std::string, std::shared_ptr<HTTPSession>, std::less<>> sessions_;
    // Sessions in the table per executor, in the order of executors_.
    std::vector<std::size_t> sessionsPerExecutor_;
    std::optional<async::Task> expiryTask_;
    // Taken out of the table and not yet shut down.
    std::size_t sessionsEnding_ = 0;
    std::vector<async::OneShot<void>> endingWaiters_;
};

}  // namespace lumenary::http
