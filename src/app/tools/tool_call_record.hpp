#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumenary::app {

// Seconds since 2001-01-01 00:00:00 UTC: the time base of the stored
// records, kept so that files written elsewhere read back here.
double secondsSinceReferenceDate(std::chrono::system_clock::time_point instant);

// The successful calls of one tool name.
struct ToolCallRecord {
    std::string id;  // upper-case UUID text
    std::string toolName;
    // The record category of the category that served the first call.
    std::string category;
    std::int64_t callCount = 0;
    double firstCallTime = 0;  // seconds since the reference date
    double lastCallTime = 0;

    std::size_t hash() const noexcept;
    friend bool operator==(const ToolCallRecord&, const ToolCallRecord&) = default;
};

// One category's share of the records; computed, never stored.
struct CategoryCallSummary {
    std::string id;
    std::string category;
    std::int64_t totalCount = 0;
    std::vector<ToolCallRecord> tools;  // more calls first
};

// The stored form: a JSON array of objects with the keys "id", "toolName",
// "category", "callCount", "firstCallTime" and "lastCallTime".
std::string encodeToolCallRecords(const std::vector<ToolCallRecord>& records);
// Nothing when the text is not such an array or any element lacks a key
// or holds a wrong type; a stored list is used whole or not at all.
std::optional<std::vector<ToolCallRecord>> decodeToolCallRecords(std::string_view text);

}  // namespace lumenary::app
