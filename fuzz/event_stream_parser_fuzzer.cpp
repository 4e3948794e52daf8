// The event-stream parser gives the same events, last event id,
// reconnection time and drops whether the body comes whole, byte by byte or
// in pieces, and every event's texts are UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "eventsource/parser.hpp"
#include "fuzz_check.hpp"
#include "fuzz_pieces.hpp"
#include "system/utf8.hpp"

using lumenary::eventsource::Event;
using lumenary::eventsource::Parser;
using lumenary::system::isValidUTF8;

namespace {

// Small, so that inputs reach it.
constexpr std::size_t maximumLineBytes = 64;

struct Outcome {
    std::vector<Event> events;
    std::string lastEventId;
    std::int64_t reconnectionTime = 0;
    std::size_t oversizedDrops = 0;
    friend bool operator==(const Outcome&, const Outcome&) = default;
};

Outcome drained(Parser& parser) {
    parser.finish();
    Outcome outcome;
    while (auto event = parser.nextEvent()) {
        LUMENARY_FUZZ_CHECK(isValidUTF8(event->data));
        LUMENARY_FUZZ_CHECK(event->data.size() <= maximumLineBytes);
        if (event->id) LUMENARY_FUZZ_CHECK(isValidUTF8(*event->id));
        if (event->event) LUMENARY_FUZZ_CHECK(isValidUTF8(*event->event));
        outcome.events.push_back(std::move(*event));
    }
    outcome.lastEventId = parser.lastEventId();
    outcome.reconnectionTime = parser.reconnectionTime();
    outcome.oversizedDrops = parser.oversizedDrops();
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = lumenary::fuzz::piecesOf(data, size);

    Parser whole(maximumLineBytes);
    whole.feed(input.stream);
    const Outcome expected = drained(whole);

    Parser byteByByte(maximumLineBytes);
    for (const char byte : input.stream) byteByByte.consume(static_cast<std::uint8_t>(byte));
    LUMENARY_FUZZ_CHECK(drained(byteByByte) == expected);

    Parser pieced(maximumLineBytes);
    for (const auto piece : input.pieces) pieced.feed(piece);
    LUMENARY_FUZZ_CHECK(drained(pieced) == expected);
    return 0;
}
