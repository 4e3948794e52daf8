#include "app/http/event_stream_registry.hpp"

#include "app/http/console_body.hpp"

#include <vector>

#include "app/http/event_stream_text.hpp"

namespace lumenary::http {

void EventStreamRegistry::open() {
    std::lock_guard lock(mutex_);
    isOpen_ = true;
}

void EventStreamRegistry::closeAll() {
    std::map<std::string, Entry, std::less<>> closing;
    {
        std::lock_guard lock(mutex_);
        isOpen_ = false;
        closing.swap(streams_);
    }
    for (auto& [clientID, entry] : closing) {
        entry.stream->close();
    }
}

bool EventStreamRegistry::add(std::shared_ptr<EventStream> stream, std::shared_ptr<HTTPSession> session) {
    std::lock_guard lock(mutex_);
    if (!isOpen_) {
        return false;
    }
    const std::string clientID = stream->clientID();
    streams_.insert_or_assign(clientID, Entry{std::move(stream), std::move(session)});
    return true;
}

std::shared_ptr<HTTPSession> EventStreamRegistry::remove(const EventStream& stream) {
    std::lock_guard lock(mutex_);
    auto found = streams_.find(stream.clientID());
    if (found == streams_.end() || found->second.stream.get() != &stream) {
        return nullptr;
    }
    auto session = std::move(found->second.session);
    streams_.erase(found);
    return session;
}

void EventStreamRegistry::closeStreamsOf(const HTTPSession& session) {
    std::vector<std::shared_ptr<EventStream>> closing;
    {
        std::lock_guard lock(mutex_);
        for (auto entry = streams_.begin(); entry != streams_.end();) {
            if (entry->second.session.get() == &session) {
                closing.push_back(std::move(entry->second.stream));
                entry = streams_.erase(entry);
            } else {
                ++entry;
            }
        }
    }
    for (const auto& stream : closing) {
        stream->close();
    }
}

void EventStreamRegistry::deliver(const HTTPSession& session, std::string_view message) {
    std::vector<std::shared_ptr<EventStream>> streams;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [clientID, entry] : streams_) {
            if (entry.session.get() == &session) {
                streams.push_back(entry.stream);
            }
        }
    }
    if (console_.isEnabled()) {
        console_.print("Broadcasting to ", std::to_string(streams.size()), " clients for session ", session.id(), ": ",
                       consoleExcerpt(message, showsBodies_));
    }
    if (streams.empty()) {
        return;
    }
    const std::string event = dataEvent(message);
    for (const auto& stream : streams) {
        stream->send(event);
    }
}

}  // namespace lumenary::http
