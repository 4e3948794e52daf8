#include "mcp/http_transport/event_stream_delivery.hpp"

#include <limits>

#include <asio/cancellation_type.hpp>
#include <asio/this_coro.hpp>

#include "eventsource/oversized_event_error.hpp"
#include "eventsource/server_sent_event_sequence.hpp"
#include "mcp/core/mcp_error.hpp"

namespace lumenary::mcp {

namespace {

logging::Logger::Location sseLocation() {
    return logging::Logger::Location::fileID("MCP/HTTPClientTransport", "processSSE(_:)");
}

// The body, read only while the consumer keeps up.
class PacedBody {
public:
    PacedBody(http_client::HTTPStreamingExchange& exchange, async::Queue<ReceivedMessage> inbound,
              std::size_t maximumUndeliveredBytes)
        : exchange_(&exchange), inbound_(std::move(inbound)), maximumUndeliveredBytes_(maximumUndeliveredBytes) {}

    asio::awaitable<std::optional<std::string>> next() {
        co_await inbound_.waitUntilBelow(std::numeric_limits<std::size_t>::max(), maximumUndeliveredBytes_);
        co_return co_await exchange_->next();
    }

private:
    http_client::HTTPStreamingExchange* exchange_;
    async::Queue<ReceivedMessage> inbound_;
    std::size_t maximumUndeliveredBytes_;
};

}  // namespace

asio::awaitable<void> deliverEventStream(http_client::HTTPStreamingExchange& exchange, EventStreamDelivery delivery,
                                         EventStreamProgress& progress) {
    eventsource::ServerSentEventSequence events(PacedBody(exchange, delivery.inbound, delivery.maximumUndeliveredBytes),
                                                delivery.maximumEventBytes);
    std::exception_ptr failure;
    try {
        for (;;) {
            auto event = co_await events.next();
            if (!event) {
                break;
            }
            const auto state = co_await asio::this_coro::cancellation_state;
            if (state.cancelled() != asio::cancellation_type::none) {
                break;
            }
            delivery.logger.trace(
                "SSE event received",
                [&] {
                    return logging::Metadata{{"type", event->event.value_or("message")},
                                             {"id", event->id.value_or("none")}};
                },
                {}, sseLocation());
            if (event->id && !event->id->empty()) {
                progress.lastEventId = *event->id;
            }
            if (!event->data.empty()) {
                progress.deliveredEvent = true;
                delivery.deliver(std::move(event->data));
            }
        }
    } catch (const eventsource::OversizedEventError& oversized) {
        failure = std::make_exception_ptr(MCPError::internalError(oversized.what()));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        delivery.logger.error([&] { return "Error processing SSE events: " + localizedDescription(failure); }, {}, {},
                              sseLocation());
        std::rethrow_exception(failure);
    }
}

}  // namespace lumenary::mcp
