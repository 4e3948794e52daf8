#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>
#include <asio/steady_timer.hpp>

#include "logging/console.hpp"
#include "app/http/http_connection.hpp"

namespace lumenary::http {

// One open event stream (server-sent events) to a client, on a connection
// that has had its GET. It writes what it is given, in order, through a write
// queue of its own, sends a heartbeat comment at every interval, and watches
// the connection for the client going away (bytes the client sends are
// discarded).
//
// No reader can hold anybody else up: send() only queues, and a stream whose
// unwritten text would pass its bound is closed, since a client that far
// behind is not reading.
//
// Its state belongs to the connection's strand: reading, writing, the
// heartbeat and the bookkeeping of what waits to be written all run there;
// send() and close() may be called from any thread, as they only post there.
class EventStream : public std::enable_shared_from_this<EventStream> {
public:
    using Clock = std::chrono::steady_clock;

    struct Options {
        Clock::duration heartbeatInterval = std::chrono::seconds(15);
        std::size_t maximumBacklogBytes = 1024 * 1024;
    };

    // Runs once, on the stream's strand, however the stream ended.
    using EndHandler = std::function<void(std::shared_ptr<EventStream> stream)>;

    static std::shared_ptr<EventStream> create(std::shared_ptr<HTTPConnection> connection, std::string clientID,
                                               std::string sessionID, Options options, logging::Console console);

    EventStream(const EventStream&) = delete;
    EventStream& operator=(const EventStream&) = delete;

    const std::string& clientID() const noexcept { return clientID_; }
    const std::string& sessionID() const noexcept { return sessionID_; }
    std::uint64_t connectionNumber() const noexcept { return connection_->number(); }

    // Queues one text to be written unchanged, after every text sent
    // before it; does nothing once the stream has ended.
    void send(std::string text);

    // Starts the heartbeat and the watch on the connection. Call on the
    // connection's strand.
    void monitor(EndHandler onEnd);

    void close();

private:
    EventStream(std::shared_ptr<HTTPConnection> connection, std::string clientID, std::string sessionID,
                Options options, logging::Console console);

    // On the strand.
    void enqueue(std::string text);
    asio::awaitable<void> writeLoop();
    asio::awaitable<void> heartbeatLoop();
    asio::awaitable<void> receiveLoop();
    void end();

    const std::shared_ptr<HTTPConnection> connection_;
    const std::string clientID_;
    const std::string sessionID_;
    const Options options_;
    const logging::Console console_;
    asio::steady_timer heartbeat_;

    EndHandler onEnd_;
    bool hasEnded_ = false;
    bool isWriting_ = false;
    std::vector<std::string> pending_;
    // Handed to the stream and not yet written, the write under way included.
    std::size_t backlogBytes_ = 0;
};

}  // namespace lumenary::http
