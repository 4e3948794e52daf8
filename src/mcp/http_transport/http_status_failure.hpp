#pragma once

#include <optional>
#include <string_view>

#include "mcp/core/mcp_error.hpp"

namespace lumenary::mcp {

// What a POST's status means when it is not a success (2xx gives absent).
// 404 and 405 depend on the transport's state, which the caller passes:
// whether it knows a session id and whether it streams.
std::optional<MCPError> postStatusFailure(int status, std::string_view contentType, bool hasSessionID,
                                          bool streaming);

}  // namespace lumenary::mcp
