#include "app/tools/tool_call_record.hpp"

#include <functional>

#include "mcp/core/coders.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/uuid.hpp"
#include "mcp/server/hash_fields.hpp"

namespace lumenary::mcp {

template <>
struct Coder<app::ToolCallRecord> {
    static Value encode(const app::ToolCallRecord& record) {
        return ObjectEncoder()
            .set("id", record.id)
            .set("toolName", record.toolName)
            .set("category", record.category)
            .set("callCount", record.callCount)
            .set("firstCallTime", record.firstCallTime)
            .set("lastCallTime", record.lastCallTime)
            .finish();
    }

    static app::ToolCallRecord decode(const Decoder& decoder) {
        const auto idDecoder = decoder.member("id");
        auto id = canonicalUUID(idDecoder.decode<std::string>());
        if (!id) {
            idDecoder.failDataCorrupted("Attempted to decode UUID from invalid UUID string.");
        }
        return {
            .id = std::move(*id),
            .toolName = decoder.decode<std::string>("toolName"),
            .category = decoder.decode<std::string>("category"),
            .callCount = decoder.decode<std::int64_t>("callCount"),
            .firstCallTime = decoder.decode<double>("firstCallTime"),
            .lastCallTime = decoder.decode<double>("lastCallTime"),
        };
    }
};

}  // namespace lumenary::mcp

namespace lumenary::app {

double secondsSinceReferenceDate(std::chrono::system_clock::time_point instant) {
    // 2001-01-01 00:00:00 UTC on the Unix clock.
    constexpr double referenceDateInUnixSeconds = 978307200.0;
    const std::chrono::duration<double> sinceUnixEpoch = instant.time_since_epoch();
    return sinceUnixEpoch.count() - referenceDateInUnixSeconds;
}

std::size_t ToolCallRecord::hash() const noexcept {
    const std::hash<double> hashDouble;
    return mcp::hashFields(id, toolName, category, static_cast<std::size_t>(callCount), hashDouble(firstCallTime),
                           hashDouble(lastCallTime));
}

std::string encodeToolCallRecords(const std::vector<ToolCallRecord>& records) {
    return mcp::writeJSON(mcp::encodeValue(records));
}

std::optional<std::vector<ToolCallRecord>> decodeToolCallRecords(std::string_view text) {
    try {
        return mcp::decodeValue<std::vector<ToolCallRecord>>(mcp::parseJSON(text));
    } catch (const mcp::DecodingError&) {
        return std::nullopt;
    }
}

}  // namespace lumenary::app
