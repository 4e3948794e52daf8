#include <algorithm>
#include <map>

#include "app/tools/local_tool_service.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/uuid.hpp"

namespace lumenary::app {

namespace {

void sortByCallCount(std::vector<ToolCallRecord>& records) {
    std::stable_sort(records.begin(), records.end(), [](const ToolCallRecord& left, const ToolCallRecord& right) {
        return left.callCount > right.callCount;
    });
}

double secondsNow() {
    return secondsSinceReferenceDate(std::chrono::system_clock::now());
}

}  // namespace

void LocalToolService::setToolCallRecords(std::vector<ToolCallRecord> records) {
    objectWillChange.emit();
    toolCallRecords_ = std::move(records);
    saveRecords();
}

void LocalToolService::saveRecords() {
    std::string text;
    try {
        text = encodeToolCallRecords(toolCallRecords_);
    } catch (const mcp::EncodingError&) {
        // A record that cannot be written (a non-finite time) must not
        // replace the stored list with something unreadable.
        return;
    }
    defaults_.setData(toolCallRecordsKey, std::move(text));
}

void LocalToolService::loadRecords() {
    const auto stored = defaults_.object(toolCallRecordsKey);
    if (!stored) {
        setToolCallRecords({});
        return;
    }
    const auto text = defaults_.data(toolCallRecordsKey);
    auto records = text ? decodeToolCallRecords(*text) : std::nullopt;
    if (!records) {
        // The list is dropped and replaced, but the store keeps a copy of
        // what it held, so a user's history is never lost without trace.
        defaults_.preserveUnreadable(toolCallRecordsKey);
        setToolCallRecords({});
        return;
    }
    setToolCallRecords(std::move(*records));
}

void LocalToolService::recordCall(const std::string& toolName, std::string_view category) {
    auto records = toolCallRecords_;
    const auto found = std::find_if(records.begin(), records.end(),
                                    [&toolName](const ToolCallRecord& record) { return record.toolName == toolName; });
    if (found != records.end()) {
        const auto index = static_cast<std::size_t>(found - records.begin());
        records[index].callCount += 1;
        setToolCallRecords(records);
        records[index].lastCallTime = secondsNow();
        setToolCallRecords(records);
    } else {
        ToolCallRecord record{
            .id = mcp::randomUUID(), .toolName = toolName, .category = std::string(category), .callCount = 1};
        record.firstCallTime = secondsNow();
        record.lastCallTime = secondsNow();
        records.push_back(std::move(record));
        setToolCallRecords(records);
    }
    sortByCallCount(records);
    setToolCallRecords(std::move(records));
}

std::vector<CategoryCallSummary> LocalToolService::categorySummaries() const {
    std::map<std::string, std::vector<ToolCallRecord>, std::less<>> groups;
    for (const auto& record : toolCallRecords_) {
        groups[record.category].push_back(record);
    }
    std::vector<CategoryCallSummary> summaries;
    summaries.reserve(groups.size());
    for (auto& [category, records] : groups) {
        std::int64_t total = 0;
        for (const auto& record : records) {
            total += record.callCount;
        }
        sortByCallCount(records);
        summaries.push_back({.id = mcp::randomUUID(), .category = category, .totalCount = total, .tools = records});
    }
    std::stable_sort(summaries.begin(), summaries.end(),
                     [](const CategoryCallSummary& left, const CategoryCallSummary& right) {
                         return left.totalCount > right.totalCount;
                     });
    return summaries;
}

}  // namespace lumenary::app
