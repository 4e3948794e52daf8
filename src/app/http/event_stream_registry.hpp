#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "logging/console.hpp"
#include "app/http/event_stream.hpp"
#include "app/http/session_table.hpp"

namespace lumenary::http {

// The open event streams, each under its client id with the session it was
// opened for; what a session's server sends on its own goes to that
// session's streams, and to no other session's.
//
// Its state sits under its mutex, held for a few steps at a time and never
// across a suspension; streams are only told to send or close (both merely
// queue) after the lock is let go.
class EventStreamRegistry {
public:
    // With `showsBodies` the console shows the start of each message, else
    // its size.
    EventStreamRegistry(logging::Console console, bool showsBodies)
        : console_(std::move(console)), showsBodies_(showsBodies) {}

    EventStreamRegistry(const EventStreamRegistry&) = delete;
    EventStreamRegistry& operator=(const EventStreamRegistry&) = delete;

    // Takes streams from now on.
    void open();
    // Closes every stream and takes no more.
    void closeAll();

    // False, and the stream is not kept, while the registry is closed.
    bool add(std::shared_ptr<EventStream> stream, std::shared_ptr<HTTPSession> session);
    // The session the stream was opened for, when it was still registered.
    std::shared_ptr<HTTPSession> remove(const EventStream& stream);
    void closeStreamsOf(const HTTPSession& session);

    // Writes one message as a data event on each of the session's streams.
    void deliver(const HTTPSession& session, std::string_view message);

private:
    struct Entry {
        std::shared_ptr<EventStream> stream;
        std::shared_ptr<HTTPSession> session;
    };

    const logging::Console console_;
    const bool showsBodies_;

    std::mutex mutex_;
    bool isOpen_ = false;
    std::map<std::string, Entry, std::less<>> streams_;
};

}  // namespace lumenary::http
