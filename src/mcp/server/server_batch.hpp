#pragma once

#include <variant>
#include <vector>

#include "mcp/core/message.hpp"
#include "mcp/core/request.hpp"

namespace lumenary::mcp {

// A JSON-RPC batch: an array of requests and notifications sent as one
// message. Each element is classified as a single message would be: a
// request (a null id included) or a notification.
struct ServerBatch {
    using Item = std::variant<Request<AnyMethod>, Message<AnyNotification>>;

    std::vector<Item> items;
};

// Reading fails as a whole when the message is no array or any one element
// is neither a request nor a notification.
template <>
struct Coder<ServerBatch> {
    static Value encode(const ServerBatch& batch);
    static ServerBatch decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp
