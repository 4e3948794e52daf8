#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace lumenary::eventsource {

// The server's answer is not an event stream; an event source does not
// connect again after one.
class EventSourceError : public std::runtime_error {
public:
    enum class Kind {
        invalidHTTPStatus,
        invalidContentType,
    };

    // "Invalid HTTP response status code: <status>"; 0 when the answer was
    // not HTTP at all.
    static EventSourceError invalidHTTPStatus(int status);
    // "Invalid Content-Type for SSE: <value>", or "Missing Content-Type
    // header in SSE response" when the answer had none.
    static EventSourceError invalidContentType(std::optional<std::string> contentType);

    Kind kind() const noexcept { return kind_; }
    int status() const noexcept { return status_; }
    const std::optional<std::string>& contentType() const noexcept { return contentType_; }

private:
    EventSourceError(Kind kind, int status, std::optional<std::string> contentType, const std::string& description)
        : std::runtime_error(description), kind_(kind), status_(status), contentType_(std::move(contentType)) {}

    Kind kind_;
    int status_;
    std::optional<std::string> contentType_;
};

}  // namespace lumenary::eventsource
