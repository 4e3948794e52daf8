#include "mcp/http_transport/http_status_failure.hpp"

#include <string>

namespace lumenary::mcp {

std::optional<MCPError> postStatusFailure(int status, std::string_view contentType, bool hasSessionID,
                                          bool streaming) {
    if (status >= 200 && status <= 299) {
        return std::nullopt;
    }
    switch (status) {
        case 400: return MCPError::internalError("Bad request");
        case 401: return MCPError::internalError("Authentication required");
        case 403: return MCPError::internalError("Access forbidden");
        case 404: return MCPError::internalError(hasSessionID ? "Session expired" : "Endpoint not found");
        case 405: return MCPError::internalError(streaming ? "Server does not support streaming" : "Method not allowed");
        case 408: return MCPError::internalError("Request timeout");
        case 429: return MCPError::internalError("Too many requests");
        default: break;
    }
    if (status >= 500 && status <= 599) {
        return MCPError::internalError("Server error: " + std::to_string(status));
    }
    return MCPError::internalError("Unexpected HTTP response: " + std::to_string(status) + " (" +
                                   std::string(contentType) + ")");
}

}  // namespace lumenary::mcp
