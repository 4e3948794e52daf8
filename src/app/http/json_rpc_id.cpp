#include "app/http/json_rpc_id.hpp"

#include <cmath>

#include "mcp/core/coders.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::http {

std::optional<JSONRPCID> extractIDFromValue(const mcp::Value& message) {
    const mcp::Value* id = message.find("id");
    if (id == nullptr) {
        return std::nullopt;
    }
    if (auto number = id->intValue()) {
        return JSONRPCID(*number);
    }
    if (auto number = id->doubleValue()) {
        // 2^63 itself is the first integral double past the range.
        constexpr double limit = 9223372036854775808.0;
        if (std::trunc(*number) == *number && *number >= -limit && *number < limit) {
            return JSONRPCID(static_cast<std::int64_t>(*number));
        }
        return std::nullopt;
    }
    // A string that happens to be a data URL was read as bytes; its text is
    // still the id.
    if (auto text = mcp::jsonText(*id)) {
        return JSONRPCID(std::move(*text));
    }
    return std::nullopt;
}

std::optional<JSONRPCID> extractID(std::string_view bytes) {
    try {
        return extractIDFromValue(mcp::parseJSON(bytes));
    } catch (const mcp::DecodingError&) {
        return std::nullopt;
    }
}

}  // namespace lumenary::http
