#include "mcp/server/prompt_methods.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/server/hash_fields.hpp"

namespace lumenary::mcp {

std::size_t ListPrompts::Parameters::hash() const noexcept {
    return hashFields(cursor);
}

std::size_t ListPrompts::Result::hash() const noexcept {
    return hashFields(prompts, nextCursor);
}

std::size_t GetPrompt::Parameters::hash() const noexcept {
    return hashFields(name, arguments);
}

std::size_t GetPrompt::Result::hash() const noexcept {
    return hashFields(description, messages);
}

Value Coder<ListPrompts::Parameters>::encode(const ListPrompts::Parameters& parameters) {
    return ObjectEncoder().setIfPresent("cursor", parameters.cursor).finish();
}

ListPrompts::Parameters Coder<ListPrompts::Parameters>::decode(const Decoder& decoder) {
    return {.cursor = decoder.decodeIfPresent<std::string>("cursor")};
}

Value Coder<ListPrompts::Result>::encode(const ListPrompts::Result& result) {
    return ObjectEncoder().set("prompts", result.prompts).setIfPresent("nextCursor", result.nextCursor).finish();
}

ListPrompts::Result Coder<ListPrompts::Result>::decode(const Decoder& decoder) {
    return {
        .prompts = decoder.decode<std::vector<Prompt>>("prompts"),
        .nextCursor = decoder.decodeIfPresent<std::string>("nextCursor"),
    };
}

Value Coder<GetPrompt::Parameters>::encode(const GetPrompt::Parameters& parameters) {
    return ObjectEncoder().set("name", parameters.name).setIfPresent("arguments", parameters.arguments).finish();
}

GetPrompt::Parameters Coder<GetPrompt::Parameters>::decode(const Decoder& decoder) {
    return {
        .name = decoder.decode<std::string>("name"),
        .arguments = decoder.decodeIfPresent<std::map<std::string, Value>>("arguments"),
    };
}

Value Coder<GetPrompt::Result>::encode(const GetPrompt::Result& result) {
    return ObjectEncoder().setIfPresent("description", result.description).set("messages", result.messages).finish();
}

GetPrompt::Result Coder<GetPrompt::Result>::decode(const Decoder& decoder) {
    return {
        .description = decoder.decodeIfPresent<std::string>("description"),
        .messages = decoder.decode<std::vector<Prompt::Message>>("messages"),
    };
}

}  // namespace lumenary::mcp
