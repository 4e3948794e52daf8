#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <asio/awaitable.hpp>

#include "async/queue.hpp"
#include "http_client/http_streaming_client.hpp"
#include "logging/logger.hpp"
#include "mcp/core/transport.hpp"

namespace lumenary::mcp {

// Where the events of one event-stream body go, and the bounds on them.
struct EventStreamDelivery {
    // Takes the data of each event; reading is paced by `inbound`, where
    // what it takes ends up.
    std::function<void(std::string)> deliver;
    async::Queue<ReceivedMessage> inbound;
    logging::Logger logger;
    std::size_t maximumEventBytes;
    std::size_t maximumUndeliveredBytes;
};

// What a stream delivered, kept up to date while it runs, so that a stream
// that breaks still tells how far it got.
struct EventStreamProgress {
    bool deliveredEvent = false;
    // The last non-empty event id the stream carried.
    std::string lastEventId{};
};

// Reads an event-stream body to its end and hands the data of each event
// that has data, whatever its name, to `deliver` as one message, the moment
// the event is complete. Reading pauses while the undelivered messages
// weigh more than their bound. Returns early, without failure, once the
// awaiting coroutine is cancelled. A failure of the body is logged ("Error processing SSE
// events: ...") and passed on; a line or event past its bound fails with
// MCPError::internalError.
asio::awaitable<void> deliverEventStream(http_client::HTTPStreamingExchange& exchange, EventStreamDelivery delivery,
                                         EventStreamProgress& progress);

}  // namespace lumenary::mcp
