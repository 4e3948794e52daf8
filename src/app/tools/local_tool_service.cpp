#include "app/tools/local_tool_service.hpp"

#include <exception>
#include <limits>

#include "app/tools/tool_error.hpp"
#include "async/on_strand.hpp"

namespace lumenary::app {

namespace {

// A stored object counts as a Boolean only when it is one (or the numbers 0
// and 1, which the platform stores Booleans as); text does not.
std::optional<bool> storedBoolean(const mcp::Value& value) {
    if (const auto boolean = value.boolValue()) {
        return *boolean;
    }
    const auto number =
        value.intValue() ? std::optional<double>(static_cast<double>(*value.intValue())) : value.doubleValue();
    if (number && (*number == 0.0 || *number == 1.0)) {
        return *number == 1.0;
    }
    return std::nullopt;
}

// A category that throws instead of returning its error is answered the
// same way; only here is a throw caught.
asio::awaitable<ToolOutcome<std::string>> runCaught(std::shared_ptr<ToolCategory> category, const std::string& name,
                                                    PlainDictionary arguments) {
    try {
        co_return co_await category->handle(name, std::move(arguments));
    } catch (const ToolError& error) {
        co_return error;
    } catch (const std::exception& error) {
        co_return ToolError("LocalTool", 500, error.what());
    } catch (...) {
        co_return ToolError("LocalTool", 500, "The operation could not be completed.");
    }
}

}  // namespace

LocalToolService::LocalToolService(asio::any_io_executor mainExecutor, platform::DefaultsStore& defaults,
                                   ToolCategories categories)
    : executor_(std::move(mainExecutor)), defaults_(defaults), categories_(std::move(categories)) {
    for (auto& category : categories_) {
        if (!category) {
            category = std::make_shared<EmptyToolCategory>();
        }
    }
    toolCallCount_ = defaults_.integer("toolCallCount");
    for (const auto& row : toolCategoryTable) {
        bool enabled = false;
        if (row.readAsObject) {
            const auto stored = defaults_.object(row.switchKey);
            enabled = stored && storedBoolean(*stored).value_or(false);
        } else {
            enabled = defaults_.boolean(row.switchKey);
        }
        switches_[static_cast<std::size_t>(row.kind)] = enabled;
    }
    loadRecords();
}

void LocalToolService::setToolCallCount(std::int64_t count) {
    objectWillChange.emit();
    toolCallCount_ = count;
    defaults_.setInteger("toolCallCount", toolCallCount_);
}

void LocalToolService::setEnabled(ToolCategoryKind kind, bool enabled) {
    objectWillChange.emit();
    switches_[static_cast<std::size_t>(kind)] = enabled;
    defaults_.setBoolean(toolCategoryRow(kind).switchKey, enabled);
    toolsChanged.emit();
}

void LocalToolService::disableAllTools() {
    for (const auto& row : toolCategoryTable) {
        setEnabled(row.kind, false);
    }
}

asio::awaitable<std::vector<MCPTool>> LocalToolService::availableTools() {
    return async::onStrand(executor_, catalogueOnMain(shared_from_this()));
}

asio::awaitable<std::vector<MCPTool>> LocalToolService::catalogueOnMain(std::shared_ptr<LocalToolService> self) {
    co_return self->catalogue();
}

std::vector<MCPTool> LocalToolService::catalogue() const {
    std::vector<MCPTool> tools;
    for (const auto kind : toolCategoryListOrder) {
        if (!isEnabled(kind)) {
            continue;
        }
        auto categoryTools = categories_[static_cast<std::size_t>(kind)]->tools();
        tools.insert(tools.end(), std::make_move_iterator(categoryTools.begin()),
                     std::make_move_iterator(categoryTools.end()));
    }
    return tools;
}

std::vector<MCPTool> LocalToolService::categoryTools(ToolCategoryKind kind) const {
    return categories_[static_cast<std::size_t>(kind)]->tools();
}

const ToolCategoryRow* LocalToolService::ownerOf(const std::string& name) {
    if (!owners_) {
        owners_.emplace();
        for (const auto& row : toolCategoryTable) {
            for (auto& tool : categories_[static_cast<std::size_t>(row.kind)]->tools()) {
                // An earlier owner keeps the name.
                owners_->try_emplace(std::move(tool.name), row.kind);
            }
        }
    }
    const auto owner = owners_->find(name);
    return owner == owners_->end() ? nullptr : &toolCategoryRow(owner->second);
}

asio::awaitable<ToolOutcome<std::string>> LocalToolService::callTool(std::string name, PlainDictionary arguments) {
    return async::onStrand(executor_, callToolOnMain(shared_from_this(), std::move(name), std::move(arguments)));
}

asio::awaitable<ToolOutcome<std::string>> LocalToolService::callToolOnMain(std::shared_ptr<LocalToolService> self,
                                                                         std::string name,
                                                                         PlainDictionary arguments) {
    const auto count = self->toolCallCount_;
    self->setToolCallCount(count == std::numeric_limits<std::int64_t>::max() ? count : count + 1);

    const ToolCategoryRow* owner = self->ownerOf(name);
    if (owner == nullptr) {
        co_return ToolError("LocalTool", 404, "Tool not found: " + name);
    }
    if (!self->isEnabled(owner->kind)) {
        co_return ToolError("LocalTool", 403, std::string(owner->refusal));
    }
    auto category = self->categories_[static_cast<std::size_t>(owner->kind)];
    auto outcome = co_await runCaught(std::move(category), name, std::move(arguments));
    if (outcome) {
        self->recordCall(name, owner->recordCategory);
    }
    co_return outcome;
}

}  // namespace lumenary::app
