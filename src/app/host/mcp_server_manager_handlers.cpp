#include <exception>

#include <asio/co_spawn.hpp>
#include <asio/use_awaitable.hpp>

#include "app/host/mcp_server_manager.hpp"
#include "mcp/core/value_conversions.hpp"

namespace lumenary::app {

namespace {

asio::awaitable<std::vector<MCPTool>> availableToolsOnMain(std::shared_ptr<LocalToolService> tools) {
    co_return tools->availableTools();
}

mcp::CallTool::Result textResult(std::string text, std::optional<bool> isError) {
    mcp::CallTool::Result result;
    result.content.push_back(mcp::Tool::Content::text(std::move(text)));
    result.isError = isError;
    return result;
}

}  // namespace

void MCPServerManager::setupHandlers(mcp::Server& server, std::shared_ptr<LocalToolService> tools) {
    server.registerMethodHandler<mcp::ListTools>(
        [tools](mcp::ListTools::Parameters parameters) { return listToolsHandler(tools, std::move(parameters)); });
    server.registerMethodHandler<mcp::CallTool>(
        [tools](mcp::CallTool::Parameters parameters) { return callToolHandler(tools, std::move(parameters)); });
    server.registerMethodHandler<mcp::ListResources>(&listResourcesHandler);
    server.registerMethodHandler<mcp::ReadResource>(&readResourceHandler);
    server.registerMethodHandler<mcp::ListPrompts>(&listPromptsHandler);
    server.registerMethodHandler<mcp::GetPrompt>(&getPromptHandler);
}

asio::awaitable<mcp::ListTools::Result> MCPServerManager::listToolsHandler(std::shared_ptr<LocalToolService> tools,
                                                                           mcp::ListTools::Parameters) {
    const auto executor = tools->executor();
    auto available = co_await asio::co_spawn(executor, availableToolsOnMain(tools), asio::use_awaitable);
    mcp::ListTools::Result result;
    result.tools.reserve(available.size());
    for (auto& entry : available) {
        mcp::Tool tool;
        tool.name = std::move(entry.name);
        tool.description = std::move(entry.description);
        tool.inputSchema = valueFromAny(PlainValue(std::move(entry.inputSchema)));
        result.tools.push_back(std::move(tool));
    }
    co_return result;
}

asio::awaitable<mcp::CallTool::Result> MCPServerManager::callToolHandler(std::shared_ptr<LocalToolService> tools,
                                                                         mcp::CallTool::Parameters parameters) {
    PlainDictionary arguments;
    if (parameters.arguments) {
        for (const auto& [key, value] : *parameters.arguments) {
            arguments.emplace(key, anyFromValue(value));
        }
    }
    std::string text;
    std::string failure;
    bool failed = false;
    try {
        text = co_await tools->callTool(std::move(parameters.name), std::move(arguments));
    } catch (const std::exception& error) {
        failed = true;
        failure = error.what();
    } catch (...) {
        failed = true;
        failure = "The operation could not be completed.";
    }
    if (failed) {
        co_return textResult("Error: " + failure, true);
    }
    co_return textResult(std::move(text), std::nullopt);
}

asio::awaitable<mcp::ListResources::Result> MCPServerManager::listResourcesHandler(mcp::ListResources::Parameters) {
    co_return mcp::ListResources::Result{};
}

asio::awaitable<mcp::ReadResource::Result> MCPServerManager::readResourceHandler(mcp::ReadResource::Parameters) {
    co_return mcp::ReadResource::Result{};
}

asio::awaitable<mcp::ListPrompts::Result> MCPServerManager::listPromptsHandler(mcp::ListPrompts::Parameters) {
    co_return mcp::ListPrompts::Result{};
}

asio::awaitable<mcp::GetPrompt::Result> MCPServerManager::getPromptHandler(mcp::GetPrompt::Parameters) {
    mcp::GetPrompt::Result result;
    result.description = "Prompt not found";
    co_return result;
}

mcp::Value MCPServerManager::valueFromAny(const PlainValue& value) {
    using Kind = mcp::Value::Kind;
    switch (value.kind()) {
        case Kind::string:
        case Kind::boolean:
        case Kind::integer:
        case Kind::number: return value;
        case Kind::object: {
            mcp::Value::Object members;
            for (const auto& [key, member] : *value.objectValue()) {
                members.emplace(key, valueFromAny(member));
            }
            return members;
        }
        case Kind::array: {
            mcp::Value::Array elements;
            elements.reserve(value.arrayValue()->size());
            for (const auto& element : *value.arrayValue()) {
                elements.push_back(valueFromAny(element));
            }
            return elements;
        }
        case Kind::null:
        case Kind::data: break;
    }
    return nullptr;
}

PlainValue MCPServerManager::anyFromValue(const mcp::Value& value) {
    using Kind = mcp::Value::Kind;
    switch (value.kind()) {
        case Kind::number:
            // The lenient reading takes exactly the whole doubles of the 64-bit range.
            if (const auto whole = mcp::integerFrom(value, false)) {
                return *whole;
            }
            return value;
        case Kind::object: {
            PlainDictionary members;
            for (const auto& [key, member] : *value.objectValue()) {
                members.emplace(key, anyFromValue(member));
            }
            return members;
        }
        case Kind::array: {
            PlainList elements;
            elements.reserve(value.arrayValue()->size());
            for (const auto& element : *value.arrayValue()) {
                elements.push_back(anyFromValue(element));
            }
            return elements;
        }
        case Kind::null:
        case Kind::boolean:
        case Kind::integer:
        case Kind::string:
        case Kind::data: break;
    }
    return value;
}

}  // namespace lumenary::app
