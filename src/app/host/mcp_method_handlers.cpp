#include "app/host/mcp_method_handlers.hpp"

#include "mcp/core/value_conversions.hpp"
#include "mcp/server/mcp_server.hpp"

namespace lumenary::app {

namespace {

mcp::CallTool::Result textResult(std::string text, std::optional<bool> isError) {
    mcp::CallTool::Result result;
    result.content.push_back(mcp::Tool::Content::text(std::move(text)));
    result.isError = isError;
    return result;
}

// The cursor is not read: the whole catalogue is one page.
asio::awaitable<mcp::ListTools::Result> listTools(std::shared_ptr<LocalToolService> tools, mcp::ListTools::Parameters) {
    auto available = co_await tools->availableTools();
    mcp::ListTools::Result result;
    result.tools.reserve(available.size());
    for (auto& entry : available) {
        mcp::Tool tool;
        tool.name = std::move(entry.name);
        tool.description = std::move(entry.description);
        tool.inputSchema = schemaJSON(PlainValue(std::move(entry.inputSchema)));
        result.tools.push_back(std::move(tool));
    }
    co_return result;
}

asio::awaitable<mcp::CallTool::Result> callTool(std::shared_ptr<LocalToolService> tools,
                                                mcp::CallTool::Parameters parameters) {
    PlainDictionary arguments;
    if (parameters.arguments) {
        for (const auto& [key, value] : *parameters.arguments) {
            arguments.emplace(key, callArgumentFromJSON(value));
        }
    }
    auto outcome = co_await tools->callTool(std::move(parameters.name), std::move(arguments));
    if (!outcome) {
        co_return textResult("Error: " + outcome.error().description(), true);
    }
    co_return textResult(std::move(outcome).value(), std::nullopt);
}

asio::awaitable<mcp::ListResources::Result> listResources(mcp::ListResources::Parameters) {
    co_return mcp::ListResources::Result{};
}

asio::awaitable<mcp::ReadResource::Result> readResource(mcp::ReadResource::Parameters) {
    co_return mcp::ReadResource::Result{};
}

asio::awaitable<mcp::ListPrompts::Result> listPrompts(mcp::ListPrompts::Parameters) {
    co_return mcp::ListPrompts::Result{};
}

asio::awaitable<mcp::GetPrompt::Result> getPrompt(mcp::GetPrompt::Parameters) {
    mcp::GetPrompt::Result result;
    result.description = "Prompt not found";
    co_return result;
}

}  // namespace

void installMethodHandlers(mcp::Server& server, LocalToolService& tools) {
    auto service = tools.shared_from_this();
    server.registerMethodHandler<mcp::ListTools>(
        [service](mcp::ListTools::Parameters parameters) { return listTools(service, std::move(parameters)); });
    server.registerMethodHandler<mcp::CallTool>(
        [service](mcp::CallTool::Parameters parameters) { return callTool(service, std::move(parameters)); });
    server.registerMethodHandler<mcp::ListResources>(&listResources);
    server.registerMethodHandler<mcp::ReadResource>(&readResource);
    server.registerMethodHandler<mcp::ListPrompts>(&listPrompts);
    server.registerMethodHandler<mcp::GetPrompt>(&getPrompt);
}

mcp::Value schemaJSON(const PlainValue& schema) {
    using Kind = mcp::Value::Kind;
    switch (schema.kind()) {
        case Kind::string:
        case Kind::boolean:
        case Kind::integer:
        case Kind::number: return schema;
        case Kind::object: {
            mcp::Value::Object members;
            for (const auto& [key, member] : *schema.objectValue()) {
                members.emplace(key, schemaJSON(member));
            }
            return members;
        }
        case Kind::array: {
            mcp::Value::Array elements;
            elements.reserve(schema.arrayValue()->size());
            for (const auto& element : *schema.arrayValue()) {
                elements.push_back(schemaJSON(element));
            }
            return elements;
        }
        case Kind::null:
        case Kind::data: break;
    }
    return nullptr;
}

PlainValue callArgumentFromJSON(const mcp::Value& json) {
    using Kind = mcp::Value::Kind;
    switch (json.kind()) {
        case Kind::number:
            // The lenient reading takes exactly the whole doubles of the 64-bit range.
            if (const auto whole = mcp::integerFrom(json, false)) {
                return *whole;
            }
            return json;
        case Kind::object: {
            PlainDictionary members;
            for (const auto& [key, member] : *json.objectValue()) {
                members.emplace(key, callArgumentFromJSON(member));
            }
            return members;
        }
        case Kind::array: {
            PlainList elements;
            elements.reserve(json.arrayValue()->size());
            for (const auto& element : *json.arrayValue()) {
                elements.push_back(callArgumentFromJSON(element));
            }
            return elements;
        }
        case Kind::null:
        case Kind::boolean:
        case Kind::integer:
        case Kind::string:
        case Kind::data: break;
    }
    return json;
}

}  // namespace lumenary::app
