#include "mcp/server/tool_methods.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/server/hash_fields.hpp"

namespace lumenary::mcp {

std::size_t ListTools::Parameters::hash() const noexcept {
    return hashFields(cursor);
}

std::size_t ListTools::Result::hash() const noexcept {
    return hashFields(tools, nextCursor);
}

std::size_t CallTool::Parameters::hash() const noexcept {
    return hashFields(name, arguments);
}

std::size_t CallTool::Result::hash() const noexcept {
    return hashFields(content, isError);
}

Value Coder<ListTools::Parameters>::encode(const ListTools::Parameters& parameters) {
    return ObjectEncoder().setIfPresent("cursor", parameters.cursor).finish();
}

ListTools::Parameters Coder<ListTools::Parameters>::decode(const Decoder& decoder) {
    return {.cursor = decoder.decodeIfPresent<std::string>("cursor")};
}

Value Coder<ListTools::Result>::encode(const ListTools::Result& result) {
    return ObjectEncoder().set("tools", result.tools).setIfPresent("nextCursor", result.nextCursor).finish();
}

ListTools::Result Coder<ListTools::Result>::decode(const Decoder& decoder) {
    return {
        .tools = decoder.decode<std::vector<Tool>>("tools"),
        .nextCursor = decoder.decodeIfPresent<std::string>("nextCursor"),
    };
}

Value Coder<CallTool::Parameters>::encode(const CallTool::Parameters& parameters) {
    return ObjectEncoder().set("name", parameters.name).setIfPresent("arguments", parameters.arguments).finish();
}

CallTool::Parameters Coder<CallTool::Parameters>::decode(const Decoder& decoder) {
    return {
        .name = decoder.decode<std::string>("name"),
        .arguments = decoder.decodeIfPresent<std::map<std::string, Value>>("arguments"),
    };
}

Value Coder<CallTool::Result>::encode(const CallTool::Result& result) {
    return ObjectEncoder().set("content", result.content).setIfPresent("isError", result.isError).finish();
}

CallTool::Result Coder<CallTool::Result>::decode(const Decoder& decoder) {
    return {
        .content = decoder.decode<std::vector<Tool::Content>>("content"),
        .isError = decoder.decodeIfPresent<bool>("isError"),
    };
}

}  // namespace lumenary::mcp
