#include "app/http/session_table.hpp"

#include <algorithm>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include "async/sleep_for.hpp"
#include "async/with_timeout.hpp"
#include "mcp/core/mcp_error.hpp"

namespace lumenary::http {

namespace {

constexpr auto sessionEndTimeLimit = std::chrono::seconds(1);
// How long after the first of a burst of ended sessions the allocator trims.
constexpr auto allocatorTrimDelay = std::chrono::milliseconds(250);

}  // namespace

std::shared_ptr<SessionTable> SessionTable::create(std::vector<asio::any_io_executor> executors,
                                                   MakeSessionServer makeSessionServer, Options options,
                                                   logging::Console console, Deliver deliver,
                                                   SessionEnded sessionEnded) {
    return std::shared_ptr<SessionTable>(new SessionTable(std::move(executors), std::move(makeSessionServer),
                                                          std::move(options), std::move(console), std::move(deliver),
                                                          std::move(sessionEnded)));
}

SessionTable::SessionTable(std::vector<asio::any_io_executor> executors, MakeSessionServer makeSessionServer,
                           Options options, logging::Console console, Deliver deliver, SessionEnded sessionEnded)
    : executors_(std::move(executors)),
      allocatorTrim_(AllocatorTrim::create(allocatorTrimDelay)),
      makeSessionServer_(std::move(makeSessionServer)),
      options_(std::move(options)),
      console_(std::move(console)),
      deliver_(std::move(deliver)),
      sessionEnded_(std::move(sessionEnded)),
      sessionsPerExecutor_(executors_.size(), 0) {}

std::size_t SessionTable::executorForNewSession(const asio::any_io_executor& requestExecutor) const {
    // The thread that read the first request is where the client's next
    // connections are likely accepted too (see LoopbackAcceptors), so its
    // requests need no hop to another thread.
    const auto reading = std::find(executors_.begin(), executors_.end(), requestExecutor);
    if (reading != executors_.end()) {
        return static_cast<std::size_t>(reading - executors_.begin());
    }
    return static_cast<std::size_t>(std::min_element(sessionsPerExecutor_.begin(), sessionsPerExecutor_.end()) -
                                    sessionsPerExecutor_.begin());
}

SessionTable::Entry SessionTable::erase(Entry entry) {
    --sessionsPerExecutor_[entry->second->executorIndex_];
    return sessions_.erase(entry);
}

void SessionTable::open() {
    std::lock_guard lock(mutex_);
    if (isOpen_) {
        return;
    }
    isOpen_ = true;
    expiryTask_ =
        async::Task::spawn(executors_.front(), [self = shared_from_this()] { return self->expireIdleSessions(); });
}

asio::awaitable<void> SessionTable::close() {
    const auto self = shared_from_this();
    std::vector<std::shared_ptr<HTTPSession>> ending;
    std::optional<async::Task> expiry;
    {
        std::lock_guard lock(mutex_);
        isOpen_ = false;
        expiry = std::exchange(expiryTask_, std::nullopt);
        // A session still being made is ended by its maker, which finds it
        // ending; it counts as ending from now on, so that closing waits for
        // it and a reopened table never takes it in.
        for (auto entry = sessions_.begin(); entry != sessions_.end();) {
            beginEnding(*entry->second);
            if (entry->second->isReady_) {
                ending.push_back(entry->second);
            }
            entry = erase(entry);
        }
    }
    if (expiry) {
        expiry->cancel();
    }
    for (auto& session : ending) {
        co_await shutDown(std::move(session));
    }
    // Sessions that expired, were evicted or lost their stream just before
    // are ending on their own: the table is closed when they have ended too.
    for (;;) {
        async::OneShot<void> ended;
        {
            std::lock_guard lock(mutex_);
            if (sessionsEnding_ == 0) {
                co_return;
            }
            endingWaiters_.push_back(ended);
        }
        co_await ended.wait();
    }
}

void SessionTable::beginEnding(HTTPSession& session) {
    session.hasEnded_ = true;
    ++sessionsEnding_;
}

asio::awaitable<std::shared_ptr<HTTPSession>> SessionTable::acquire(std::string sessionID,
                                                                    asio::any_io_executor requestExecutor) {
    const auto self = shared_from_this();
    for (;;) {
        std::shared_ptr<HTTPSession> created;
        async::OneShot<void> ready;
        {
            std::lock_guard lock(mutex_);
            if (!isOpen_) {
                throw mcp::MCPError::internalError("The HTTP server is not running");
            }
            auto found = sessions_.find(sessionID);
            if (found == sessions_.end()) {
                const auto index = executorForNewSession(requestExecutor);
                created = std::make_shared<HTTPSession>(sessionID, executors_[index]);
                created->executorIndex_ = index;
                ++sessionsPerExecutor_[index];
                sessions_.emplace(sessionID, created);
            } else if (found->second->isReady_) {
                // Counted in the same step as the lookup, so that expiry
                // cannot take the session between the two.
                auto& session = *found->second;
                ++session.busyRequests_;
                session.lastActivity_ = Clock::now();
                co_return found->second;
            } else {
                // Another request is making it: one session, made once.
                found->second->readyWaiters_.push_back(ready);
            }
        }
        if (created) {
            co_await create(created);
            co_return created;
        }
        co_await ready.wait();
    }
}

asio::awaitable<void> SessionTable::create(std::shared_ptr<HTTPSession> session) {
    std::exception_ptr failure;
    try {
        bool isOverLimit = false;
        {
            std::lock_guard lock(mutex_);
            isOverLimit = sessions_.size() > options_.maximumSessions;
        }
        if (isOverLimit) {
            co_await evictLongestIdle(session);
        }
        session->server_ = co_await makeSessionServer_(session->executor());
        session->transport_ = HTTPStreamableServerTransport::create(options_.transportLimits);
        session->transport_->setBroadcaster([weakSession = std::weak_ptr<HTTPSession>(session),
                                             deliver = deliver_](std::string message) -> asio::awaitable<void> {
            if (auto sending = weakSession.lock()) {
                deliver(*sending, message);
            }
            co_return;
        });
        // The task holds the server and the transport, not the session that
        // holds the task.
        session->task_ = async::Task::spawn(session->executor(),
                                            runSession(session->server_, session->transport_, session->id(), console_));
    } catch (...) {
        failure = std::current_exception();
    }

    std::vector<async::OneShot<void>> waiters;
    bool isClosed = false;
    {
        std::lock_guard lock(mutex_);
        waiters = std::exchange(session->readyWaiters_, {});
        auto found = sessions_.find(session->id());
        const bool isStillHere = found != sessions_.end() && found->second == session;
        // Only closing the table ends a session that is still being made.
        const bool isEndingAlready = session->hasEnded_;
        isClosed = isEndingAlready || (!failure && (!isStillHere || !isOpen_));
        if (failure || isClosed) {
            if (isStillHere) erase(found);
            if (isClosed && !isEndingAlready) beginEnding(*session);
            session->hasEnded_ = true;
        } else {
            session->isReady_ = true;
            ++session->busyRequests_;
            session->lastActivity_ = Clock::now();
        }
    }
    if (isClosed) {
        // The table closed while the server was being made.
        failure = std::make_exception_ptr(mcp::MCPError::internalError("The HTTP server is not running"));
        co_await shutDown(session);
    }
    if (failure) {
        for (auto& waiter : waiters) waiter.fail(failure);
        std::rethrow_exception(failure);
    }
    for (auto& waiter : waiters) waiter.resume();
    console_.print("Created new session: ", session->id());
}

asio::awaitable<void> SessionTable::runSession(std::shared_ptr<mcp::Server> server,
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

void SessionTable::release(HTTPSession& session) {
    std::lock_guard lock(mutex_);
    --session.busyRequests_;
    session.lastActivity_ = Clock::now();
}

bool SessionTable::streamOpened(HTTPSession& session) {
    std::lock_guard lock(mutex_);
    if (session.hasEnded_) {
        return false;
    }
    ++session.openStreams_;
    return true;
}

void SessionTable::streamClosed(HTTPSession& session) {
    std::lock_guard lock(mutex_);
    --session.openStreams_;
    session.lastActivity_ = Clock::now();
}

asio::awaitable<void> SessionTable::evictLongestIdle(const std::shared_ptr<HTTPSession>& keep) {
    std::shared_ptr<HTTPSession> victim;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, session] : sessions_) {
            if (session == keep || !session->isReady_) {
                continue;
            }
            // Sessions in use go only when every session is in use.
            const bool better =
                !victim || (session->isIdle() && !victim->isIdle()) ||
                (session->isIdle() == victim->isIdle() && session->lastActivity_ < victim->lastActivity_);
            if (better) victim = session;
        }
        if (victim) {
            beginEnding(*victim);
            erase(sessions_.find(victim->id()));
        }
    }
    if (victim) {
        console_.print("Session ", victim->id(), " removed: too many sessions");
        co_await shutDown(std::move(victim));
    }
}

asio::awaitable<void> SessionTable::expireIdleSessions() {
    const auto limit = options_.idleTimeLimit;
    // Wakes only when a session can first have expired, so that an idle
    // program sleeps. A session that is busy or still being made now is
    // stamped when it goes idle, so it cannot expire before now + limit.
    auto nextCheck = Clock::now() + limit;
    for (;;) {
        co_await async::sleepFor(std::max<Clock::duration>(nextCheck - Clock::now(), Clock::duration::zero()));
        const auto now = Clock::now();
        nextCheck = now + limit;
        std::vector<std::shared_ptr<HTTPSession>> expired;
        {
            // Decided under the lock that requests take sessions under, so
            // that an expiring session cannot be taken at the same moment.
            std::lock_guard lock(mutex_);
            for (auto entry = sessions_.begin(); entry != sessions_.end();) {
                auto& session = *entry->second;
                const bool isIdleReady = session.isReady_ && session.isIdle();
                if (isIdleReady && now - session.lastActivity_ >= limit) {
                    beginEnding(session);
                    expired.push_back(entry->second);
                    entry = erase(entry);
                } else {
                    if (isIdleReady) {
                        nextCheck = std::min(nextCheck, session.lastActivity_ + limit);
                    }
                    ++entry;
                }
            }
        }
        // Shut down apart from this task: cancelling it while a session's
        // server stops would cut into that server's own strand hops.
        for (auto& session : expired) {
            console_.print("Session ", session->id(), " expired after being idle");
            const auto executor = session->executor();
            asio::co_spawn(executor, shutDown(std::move(session)), asio::detached);
        }
    }
}

asio::awaitable<void> SessionTable::remove(std::string sessionID) {
    const auto self = shared_from_this();
    for (;;) {
        std::shared_ptr<HTTPSession> ending;
        async::OneShot<void> ready;
        {
            std::lock_guard lock(mutex_);
            auto found = sessions_.find(sessionID);
            if (found == sessions_.end()) {
                co_return;
            }
            if (found->second->isReady_) {
                ending = found->second;
                beginEnding(*ending);
                erase(found);
            } else {
                found->second->readyWaiters_.push_back(ready);
            }
        }
        if (ending) {
            co_await shutDown(std::move(ending));
            co_return;
        }
        try {
            co_await ready.wait();
        } catch (...) {
            // Its making failed: there is nothing to remove.
        }
    }
}

asio::awaitable<void> SessionTable::end(std::shared_ptr<HTTPSession> session) {
    const auto self = shared_from_this();
    if (takeOut(*session)) {
        co_await shutDown(std::move(session));
    }
}

bool SessionTable::takeOut(const HTTPSession& session) {
    std::lock_guard lock(mutex_);
    auto found = sessions_.find(session.id());
    if (found == sessions_.end() || found->second.get() != &session || !session.isReady_) {
        return false;
    }
    beginEnding(*found->second);
    erase(found);
    return true;
}

asio::awaitable<void> SessionTable::shutDown(std::shared_ptr<HTTPSession> session) {
    const auto self = shared_from_this();
    // Nothing would ever come on its streams again.
    sessionEnded_(*session);
    // The server task ends by itself once the server has stopped; cancelling
    // it would cut into the server's own strand hops.
    if (session->server_) {
        co_await session->server_->stop();
    }
    if (session->transport_) {
        co_await session->transport_->disconnect();
    }
    // Its server's loop ends at its next wait, which the stop cancelled: a
    // session is over when nothing of it runs any more. A handler that
    // ignores the cancellation is not waited for long.
    if (session->task_) {
        try {
            co_await async::withTimeout(session->task_->join(), sessionEndTimeLimit);
        } catch (...) {
        }
    }
    console_.print("Cleaned up session: ", session->id());
    allocatorTrim_->request(session->executor());
    std::vector<async::OneShot<void>> waiters;
    {
        std::lock_guard lock(mutex_);
        if (--sessionsEnding_ == 0) {
            waiters.swap(endingWaiters_);
        }
    }
    for (auto& waiter : waiters) waiter.resume();
}

std::shared_ptr<HTTPSession> SessionTable::find(std::string_view sessionID) {
    std::lock_guard lock(mutex_);
    auto found = sessions_.find(sessionID);
    if (found == sessions_.end() || !found->second->isReady_) {
        return nullptr;
    }
    return found->second;
}

std::vector<std::shared_ptr<HTTPSession>> SessionTable::liveSessions() {
    std::vector<std::shared_ptr<HTTPSession>> live;
    std::lock_guard lock(mutex_);
    for (const auto& [id, session] : sessions_) {
        if (session->isReady_) live.push_back(session);
    }
    return live;
}

}  // namespace lumenary::http
