#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "eventsource/event.hpp"

namespace lumenary::eventsource {

// Turns the bytes of an event-stream body into events, incrementally: input
// may be split anywhere (inside CR LF, inside a character, inside the
// byte-order mark) and feeding it in any pieces gives the same events as
// feeding it byte by byte.
//
// A plain object owned by its one user, who feeds it and takes the events it
// queued; it never fails. CR, LF and CR LF each end a line; a byte-order mark
// is dropped from the front of every line; ill-formed UTF-8 becomes U+FFFD.
//
// A peer fills the buffers, so they are bounded: a line, and the data of one
// event, may hold at most `maximumLineBytes`. Past that the line, and the
// event it belongs to, are dropped (counted by oversizedDrops()); the last
// event id and the reconnection time stay as they were, and the next event
// parses as usual.
class Parser {
public:
    static constexpr std::size_t defaultMaximumLineBytes = 32 * 1024 * 1024;
    static constexpr std::int64_t defaultReconnectionTime = 3000;

    explicit Parser(std::size_t maximumLineBytes = defaultMaximumLineBytes) : maximumLineBytes_(maximumLineBytes) {}

    void consume(std::uint8_t byte);
    // The same as consuming each byte in turn.
    void feed(std::string_view bytes);
    // The end of the input: ends a last unterminated line and dispatches the
    // event it completes. The parser takes further input afterwards.
    void finish();

    // The oldest queued event, taken out of the queue.
    std::optional<Event> nextEvent();
    bool hasEvent() const noexcept { return !eventQueue_.empty(); }

    // The last id the stream set, never reset by a dispatch.
    const std::string& lastEventId() const noexcept { return lastEventId_; }
    // The last retry value accepted, in milliseconds.
    std::int64_t reconnectionTime() const noexcept { return reconnectionTime_; }
    std::size_t oversizedDrops() const noexcept { return oversizedDrops_; }
    std::size_t maximumLineBytes() const noexcept { return maximumLineBytes_; }

    // Drops a partial line and a half-built event, keeping the last event id
    // and the reconnection time: for a user that starts over on a new
    // connection after the old one broke.
    void discardPartialEvent();

private:
    void appendToLine(std::string_view bytes);
    void endBufferedLine();
    // A whole line as received, byte-order mark and all.
    void processRawLine(std::string_view bytes);
    void processLine(std::string_view line);
    void processField(std::string_view name, std::string_view value);
    void appendData(std::string_view value);
    void dispatchEvent();
    void dropEvent();

    std::size_t maximumLineBytes_;

    std::optional<std::string> currentEventId_;
    std::optional<std::string> currentEventType_;
    std::string currentData_;
    std::optional<std::int64_t> currentRetry_;
    std::string lastEventId_;
    std::int64_t reconnectionTime_ = defaultReconnectionTime;
    std::string lineBuffer_;
    bool sawCR_ = false;
    std::deque<Event> eventQueue_;
    // Only a "data" field met since the last blank line decides anything
    // (an event with empty data), so that is all that is kept of the fields.
    bool seenDataField_ = false;

    // The line being read passed the bound: its remaining bytes are skipped.
    bool lineTooLong_ = false;
    // The event being built passed the bound: it is not dispatched.
    bool eventTooLarge_ = false;
    std::size_t oversizedDrops_ = 0;
    // Where a line with ill-formed UTF-8 is repaired.
    std::string repairedLine_;
};

}  // namespace lumenary::eventsource
