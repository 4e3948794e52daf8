#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/tools/tool_call_record.hpp"
#include "app/tools/tool_category_table.hpp"

namespace lumenary::app::ui {

// One tool as the panel lists it.
struct PanelToolLine {
    std::string name;
    std::string displayDescription;
};

// Every category's whole tool list, whatever its switch, indexed by
// ToolCategoryKind. The lists never change while the program runs, so the
// bridge reads them once.
using CategoryToolLists = std::array<std::vector<PanelToolLine>, toolCategoryCount>;

// A copy of what the core publishes, taken on the main executor and handed
// whole to the UI thread: the UI never reads a core object.
struct PanelSnapshot {
    // The server manager's fields.
    bool isEnabled = false;
    bool isRunning = false;
    std::uint16_t customPort = 0;
    std::string mcpURL;
    std::string sseURL;
    std::optional<std::string> lastError;
    std::string httpConfigJSON;
    std::string stdioConfigJSON;

    // The tool service's fields.
    std::int64_t toolCallCount = 0;
    std::array<bool, toolCategoryCount> switches{};
    std::vector<ToolCallRecord> toolCallRecords;
    // The service's grouping of the records (its order is the page's).
    std::vector<CategoryCallSummary> categorySummaries;

    std::shared_ptr<const CategoryToolLists> categoryTools = std::make_shared<CategoryToolLists>();

    // The number of tools the switched-on categories offer: the length of
    // the tool service's catalogue.
    std::int64_t enabledToolCount() const;
};

}  // namespace lumenary::app::ui
