#include "eventsource/event_source_error.hpp"

namespace lumenary::eventsource {

EventSourceError EventSourceError::invalidHTTPStatus(int status) {
    return EventSourceError(Kind::invalidHTTPStatus, status, std::nullopt,
                            "Invalid HTTP response status code: " + std::to_string(status));
}

EventSourceError EventSourceError::invalidContentType(std::optional<std::string> contentType) {
    const std::string description =
        contentType ? "Invalid Content-Type for SSE: " + *contentType : "Missing Content-Type header in SSE response";
    return EventSourceError(Kind::invalidContentType, 0, std::move(contentType), description);
}

}  // namespace lumenary::eventsource
