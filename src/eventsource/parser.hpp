#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    bool hasEvent() const noexcept { return eventQueueHead_ < eventQueue_.size(); }

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
    // `ascii` when the bytes are known to hold nothing beyond ASCII.
    void appendToLine(std::string_view bytes, bool ascii);
    void endBufferedLine();
    // A data line that spans pieces goes straight into the event's data
    // from its value on, not through the line buffer: a long value is
    // copied once.
    void streamIfDataLine();
    void appendStreamedValue(std::string_view bytes, bool ascii);
    void endStreamedValue();
    // A whole line as received, byte-order mark and all; `ascii` when it is
    // known to hold nothing beyond ASCII.
    void processRawLine(std::string_view bytes, bool ascii);
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
    // Nothing beyond ASCII has entered the buffer since it was last emptied.
    bool lineBufferASCII_ = true;
    bool sawCR_ = false;
    // Taken from `eventQueueHead_` on; emptied, keeping its room, once all
    // are taken, so a steady stream allocates nothing for the queue.
    std::vector<Event> eventQueue_;
    std::size_t eventQueueHead_ = 0;
    // Only a "data" field met since the last blank line decides anything
    // (an event with empty data), so that is all that is kept of the fields.
    bool seenDataField_ = false;

    // Where the value of the data line being streamed starts in
    // `currentData_`, while one is; the bytes of the line before it; whether
    // it is all ASCII so far.
    std::optional<std::size_t> streamedValueStart_;
    std::size_t streamedPrefixBytes_ = 0;
    bool streamedValueASCII_ = true;

    // The line being read passed the bound: its remaining bytes are skipped.
    bool lineTooLong_ = false;
    // The event being built passed the bound: it is not dispatched.
    bool eventTooLarge_ = false;
    std::size_t oversizedDrops_ = 0;
    // Where a line with ill-formed UTF-8 is repaired.
    std::string repairedLine_;
};

}  // namespace lumenary::eventsource
