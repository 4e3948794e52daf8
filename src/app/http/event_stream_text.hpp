#pragma once

#include <string>
#include <string_view>

namespace lumenary::http {

// The texts written on an event stream (server-sent events). Events end in
// two line feeds and carry no id or retry field; only the connected event
// has a type.

// The response head that opens a stream for a session: an HTTP/1.0 status
// line (the stream ends when the connection does), the stream's content type,
// no caching, CORS and the session id; no Content-Length.
std::string eventStreamHead(std::string_view sessionID);

// "data: " and one JSON-RPC message, unchanged on one line.
std::string dataEvent(std::string_view message);

// The first event of every stream: {"type": "connected", "sessionId": <id>},
// with one blank after each colon and after the comma, under the event type
// "connected". It is no JSON-RPC message, and MCP clients read only events
// without a type (or of type "message"), so the type keeps them from taking
// it for one while a reader that wants it still sees it.
std::string connectedEvent(std::string_view sessionID);

// The comment that keeps an idle stream alive (13 bytes).
inline constexpr std::string_view heartbeatComment = ": heartbeat\n\n";

}  // namespace lumenary::http
