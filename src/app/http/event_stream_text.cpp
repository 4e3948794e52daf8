#include "app/http/event_stream_text.hpp"

#include "mcp/core/json.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::http {

std::string eventStreamHead(std::string_view sessionID) {
    std::string head =
        "HTTP/1.0 200 OK\r\n"
        "Content-Type: text/event-stream; charset=utf-8\r\n"
        "Cache-Control: no-cache, no-store, must-revalidate\r\n"
        "Pragma: no-cache\r\n"
        "Expires: 0\r\n"
        "X-Accel-Buffering: no\r\n"
        "Access-Control-Allow-Origin: *\r\n"
        "Access-Control-Allow-Headers: Cache-Control, Content-Type, Mcp-Session-Id\r\n"
        "Access-Control-Expose-Headers: Mcp-Session-Id\r\n"
        "Mcp-Session-Id: ";
    head.append(sessionID).append("\r\n\r\n");
    return head;
}

std::string dataEvent(std::string_view message) {
    std::string event;
    event.reserve(message.size() + 8);
    event.append("data: ").append(message).append("\n\n");
    return event;
}

std::string connectedEvent(std::string_view sessionID) {
    std::string event = "event: connected\n" R"(data: {"type": "connected", "sessionId": )";
    // Session ids come from a header block that was checked to be UTF-8.
    mcp::appendJSON(event, mcp::Value(std::string(sessionID)));
    event.append("}\n\n");
    return event;
}

}  // namespace lumenary::http
