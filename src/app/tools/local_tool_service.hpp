#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "app/tools/mcp_tool.hpp"
#include "app/tools/plain_value.hpp"
#include "app/tools/tool_call_record.hpp"
#include "app/tools/tool_category.hpp"
#include "app/tools/tool_category_table.hpp"
#include "async/signal.hpp"
#include "platform/defaults/defaults_store.hpp"

namespace lumenary::app {

// One handler per category, in scan order.
using ToolCategories = std::array<std::shared_ptr<ToolCategory>, toolCategoryCount>;

// Every tool call passes through here: the ten category switches, the
// catalogue of the switched-on categories, dispatch by tool name, and the
// call count and records. All state is guarded by the main executor: the
// synchronous members must be called there, and the awaitable ones
// (`availableTools`, `callTool`) go there themselves, so any server's
// executor may await them. Switches, count and records are persisted in the
// defaults as they change.
class LocalToolService : public std::enable_shared_from_this<LocalToolService> {
public:
    // Reads the count, the switches and the records from `defaults`, which
    // must outlive the service. A missing category handler lists nothing.
    LocalToolService(asio::any_io_executor mainExecutor, platform::DefaultsStore& defaults, ToolCategories categories);

    // Creates the process's service, on the main executor with the standard
    // defaults, holding the categories the host hands in (the host is what
    // knows every category). Called once, at start, before any `shared()`;
    // a second call throws std::logic_error. Never destroyed.
    static std::shared_ptr<LocalToolService> createShared(ToolCategories categories);
    // The process's service; throws std::logic_error before `createShared`.
    static std::shared_ptr<LocalToolService> shared();

    const asio::any_io_executor& executor() const noexcept { return executor_; }

    // Sent once after every switch assignment, also one that changes nothing.
    async::Signal toolsChanged;
    // Sent before any switch, the count or the records change.
    async::Signal objectWillChange;

    // Calls asked for, refused and failed ones included.
    std::int64_t toolCallCount() const noexcept { return toolCallCount_; }
    void setToolCallCount(std::int64_t count);

    // One record per tool name with a successful call, more calls first.
    const std::vector<ToolCallRecord>& toolCallRecords() const noexcept { return toolCallRecords_; }
    void setToolCallRecords(std::vector<ToolCallRecord> records);
    static constexpr std::string_view toolCallRecordsKey = "toolCallRecords";

    void loadRecords();
    void saveRecords();
    void recordCall(const std::string& toolName, std::string_view category);
    std::vector<CategoryCallSummary> categorySummaries() const;

    bool isEnabled(ToolCategoryKind kind) const noexcept { return switches_[static_cast<std::size_t>(kind)]; }
    void setEnabled(ToolCategoryKind kind, bool enabled);

    bool isCalendarEnabled() const noexcept { return isEnabled(ToolCategoryKind::calendar); }
    bool isRemindersEnabled() const noexcept { return isEnabled(ToolCategoryKind::reminders); }
    bool isContactsEnabled() const noexcept { return isEnabled(ToolCategoryKind::contacts); }
    bool isMessagesEnabled() const noexcept { return isEnabled(ToolCategoryKind::messages); }
    bool isNotesEnabled() const noexcept { return isEnabled(ToolCategoryKind::notes); }
    bool isMailEnabled() const noexcept { return isEnabled(ToolCategoryKind::mail); }
    bool isMusicEnabled() const noexcept { return isEnabled(ToolCategoryKind::music); }
    bool isMapsEnabled() const noexcept { return isEnabled(ToolCategoryKind::maps); }
    bool isMacOSEnabled() const noexcept { return isEnabled(ToolCategoryKind::desktopControl); }
    bool isVisionEnabled() const noexcept { return isEnabled(ToolCategoryKind::vision); }
    void setCalendarEnabled(bool enabled) { setEnabled(ToolCategoryKind::calendar, enabled); }
    void setRemindersEnabled(bool enabled) { setEnabled(ToolCategoryKind::reminders, enabled); }
    void setContactsEnabled(bool enabled) { setEnabled(ToolCategoryKind::contacts, enabled); }
    void setMessagesEnabled(bool enabled) { setEnabled(ToolCategoryKind::messages, enabled); }
    void setNotesEnabled(bool enabled) { setEnabled(ToolCategoryKind::notes, enabled); }
    void setMailEnabled(bool enabled) { setEnabled(ToolCategoryKind::mail, enabled); }
    void setMusicEnabled(bool enabled) { setEnabled(ToolCategoryKind::music, enabled); }
    void setMapsEnabled(bool enabled) { setEnabled(ToolCategoryKind::maps, enabled); }
    void setMacOSEnabled(bool enabled) { setEnabled(ToolCategoryKind::desktopControl, enabled); }
    void setVisionEnabled(bool enabled) { setEnabled(ToolCategoryKind::vision, enabled); }

    // Switches every category off, one after another, each with its event.
    void disableAllTools();

    // The tools of the switched-on categories, in catalogue order, built
    // anew on each call. Awaitable from any executor.
    asio::awaitable<std::vector<MCPTool>> availableTools();
    // The same list for code already on the main executor (the manager, a panel).
    std::vector<MCPTool> catalogue() const;
    // One category's whole list, whatever its switch (the panel lists it so).
    std::vector<MCPTool> categoryTools(ToolCategoryKind kind) const;

    // Counts the call, finds the category that owns `name` and runs the
    // tool there, recording the call when it returns a text. Every failure
    // comes back as a ToolError value: "LocalTool" 404 for an unknown name,
    // 403 for a switched-off category, the tool's own error, or, for
    // anything else a tool throws, "LocalTool" 500 with its description.
    asio::awaitable<ToolOutcome<std::string>> callTool(std::string name, PlainDictionary arguments);

private:
    static asio::awaitable<std::vector<MCPTool>> catalogueOnMain(std::shared_ptr<LocalToolService> self);
    static asio::awaitable<ToolOutcome<std::string>> callToolOnMain(std::shared_ptr<LocalToolService> self, std::string name,
                                                       PlainDictionary arguments);

    // The category that owns `name`, the first in scan order where two list it.
    const ToolCategoryRow* ownerOf(const std::string& name);

    asio::any_io_executor executor_;
    platform::DefaultsStore& defaults_;
    ToolCategories categories_;
    // Tool name to owning category, built on the first call: the lists are
    // fixed, and building them (schemas and all) for every call is wasted.
    std::optional<std::unordered_map<std::string, ToolCategoryKind>> owners_;
    std::int64_t toolCallCount_ = 0;
    std::vector<ToolCallRecord> toolCallRecords_;
    std::array<bool, toolCategoryCount> switches_{};
};

}  // namespace lumenary::app
