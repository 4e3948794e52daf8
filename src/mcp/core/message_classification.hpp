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
    // The id of a request or a response. An invalid message keeps the id it
    // carries when that one is readable, so its error can be answered under
    // it; a batch and a notification have none.
    std::optional<ID> id;

    // The id under which the server answers this message, when it answers
    // under one the sender can know: a request's, or an invalid message's
    // readable id. Responses sent to a server are invalid there and answered
    // under their own id as well.
    std::optional<ID> answeredUnder() const {
        return kind == MessageKind::notification || kind == MessageKind::batch ? std::nullopt : id;
    }
};

// A single message must be an object with "jsonrpc" exactly "2.0".
MessageClassification classifyMessage(const Value& message);

// The request id a JSON value stands for, or nothing: a string (also one that
// was read as a data URL), an integer, a double without a fraction inside
// the signed 64-bit range as that integer (so 7.0 is id 7 everywhere), and
// null as the empty string id. Booleans, fractions, numbers out of range,
// arrays and objects are no id.
std::optional<ID> requestIDFrom(const Value& value);

}  // namespace lumenary::mcp
