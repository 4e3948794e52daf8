#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumenary::http {

// Header lines in the order they go on the wire.
using HTTPHeaders = std::vector<std::pair<std::string, std::string>>;

// One complete response: "HTTP/1.1 <status> <text>", the given headers in
// their order, "Content-Length" (replacing an entry of exactly that name, or
// last), "Connection: close", a blank line and the body. Every connection
// serves one request, and a client that is not told so may send its next
// request down a connection we are closing, and lose it.
std::string httpResponseBytes(int status, std::string_view statusText, const HTTPHeaders& headers,
                              std::string_view body);

// A JSON-RPC error response with a null id, written without whitespace and
// with its members in the order "jsonrpc", "id", "error" ("code", then
// "message").
std::string jsonRPCErrorBody(std::int64_t code, std::string_view message);

}  // namespace lumenary::http
