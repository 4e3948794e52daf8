#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <utility>

#include <asio/awaitable.hpp>

#include "eventsource/event.hpp"
#include "eventsource/parser.hpp"
#include "eventsource/oversized_event_error.hpp"

namespace lumenary::eventsource {

// What the sequence reads: a body handed over in pieces as they arrive,
// absent at its end; a failure of the body is thrown by next().
template <typename Source>
concept BodyPieceSource = requires(Source& source) {
    { source.next() } -> std::same_as<asio::awaitable<std::optional<std::string>>>;
};

// The events of an event-stream body, each handed on as soon as the line
// that completes it has arrived. It owns a parser of its own; one coroutine
// drives it.
//
// A failure of the body passes through unchanged and nothing pending is
// flushed; a clean end runs the parser's finish(), so a last event without a
// blank line still arrives. A line or event past the parser's bound fails
// the sequence with OversizedEventError: its reader cannot trust the stream
// to carry on whole.
template <BodyPieceSource Source>
class ServerSentEventSequence {
public:
    explicit ServerSentEventSequence(Source source, std::size_t maximumLineBytes = Parser::defaultMaximumLineBytes)
        : source_(std::move(source)), parser_(maximumLineBytes) {}

    // The next event, absent at the end of the body.
    asio::awaitable<std::optional<Event>> next() {
        for (;;) {
            if (auto event = parser_.nextEvent()) {
                co_return event;
            }
            auto piece = co_await source_.next();
            if (!piece) {
                parser_.finish();
                throwIfOversized();
                co_return parser_.nextEvent();
            }
            parser_.feed(*piece);
            throwIfOversized();
        }
    }

    const Parser& parser() const noexcept { return parser_; }
    Source& source() noexcept { return source_; }

private:
    void throwIfOversized() const {
        if (parser_.oversizedDrops() != 0) {
            throw OversizedEventError(parser_.maximumLineBytes());
        }
    }

    Source source_;
    Parser parser_;
};

}  // namespace lumenary::eventsource
