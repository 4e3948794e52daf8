#pragma once

#include <cstdint>
#include <optional>

#include "mcp/core/id.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// What one parsed JSON-RPC message is. The server's dispatch, the client's
// inbound path, the HTTP session transport and the stdio proxy all ask this
// one place, so no two of them can disagree about whether a message will be
// answered, or under which id.
enum class MessageKind : std::uint8_t {
    request,        // "method" and a readable "id"
    notification,   // "method" and no "id" member at all
    response,       // "result" and a readable "id", no "method"
    errorResponse,  // "error" and a readable "id", no "method" or "result"
    batch,          // an array; classify its elements one by one
    invalid,        // anything else, an unreadable "id" included
};

struct MessageClassification {
    MessageKind kind = MessageKind::invalid;
    // The id of a request or a response, a null "id" read as the empty
    // string id as the envelopes read it. An invalid message keeps the id it
    // carries when that one is readable and not null, so its error can be
    // answered under it; a batch and a notification have none.
    std::optional<ID> id;
    // A response's id came from a null "id"; a server answers it, like an
    // invalid message, under a fresh id.
    bool idIsNull = false;

    // The id under which the server answers this message, when it answers
    // under one the sender can know: a request's, or an invalid message's
    // readable id. Responses sent to a server are invalid there and answered
    // under their own id as well, unless it is null.
    std::optional<ID> answeredUnder() const {
        if (kind == MessageKind::notification || kind == MessageKind::batch || idIsNull) {
            return std::nullopt;
        }
        return id;
    }
};

// A single message must be an object with "jsonrpc" exactly "2.0".
MessageClassification classifyMessage(const Value& message);

// The request id a JSON value stands for, or nothing: a string (also one that
// was read as a data URL), an integer, a double without a fraction inside
// the signed 64-bit range as that integer (so 7.0 is id 7 everywhere), and
// null as the empty string id. Booleans, fractions, numbers out of range,
// arrays and objects are no id. The JSON reader has already rounded what
// no double holds: 1e-400 arrives as 0, -9223372036854775809 as -2^63, and
// each is that id.
std::optional<ID> requestIDFrom(const Value& value);

}  // namespace lumenary::mcp
