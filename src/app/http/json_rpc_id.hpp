#pragma once

#include <optional>
#include <string_view>

#include "mcp/core/id.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::http {

// The id an HTTP exchange waits under: a string or a signed 64-bit integer.
// The string "1" and the integer 1 are different ids.
using JSONRPCID = mcp::ID;

// The "id" of a single message (a JSON object), read the same way for a POST
// body and for the reply to it: a string; an integer; a number without a
// fraction (7.0, 1e3) inside the signed 64-bit range, as that integer.
// Anything else (null, a Boolean, 7.5, an object, no "id", a message that is
// not an object or not JSON) has no id.
std::optional<JSONRPCID> extractIDFromValue(const mcp::Value& message);
std::optional<JSONRPCID> extractID(std::string_view bytes);

}  // namespace lumenary::http
