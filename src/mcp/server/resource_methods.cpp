#include "mcp/server/resource_methods.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/server/hash_fields.hpp"

namespace lumenary::mcp {

std::size_t ListResources::Parameters::hash() const noexcept {
    return hashFields(cursor);
}

std::size_t ListResources::Result::hash() const noexcept {
    return hashFields(resources, nextCursor);
}

std::size_t ReadResource::Parameters::hash() const noexcept {
    return hashFields(uri);
}

std::size_t ReadResource::Result::hash() const noexcept {
    return hashFields(contents);
}

std::size_t ListResourceTemplates::Parameters::hash() const noexcept {
    return hashFields(cursor);
}

std::size_t ListResourceTemplates::Result::hash() const noexcept {
    return hashFields(templates, nextCursor);
}

std::size_t ResourceSubscribe::Parameters::hash() const noexcept {
    return hashFields(uri);
}

std::size_t ResourceUpdatedNotification::Parameters::hash() const noexcept {
    return hashFields(uri);
}

Value Coder<ListResources::Parameters>::encode(const ListResources::Parameters& parameters) {
    return ObjectEncoder().setIfPresent("cursor", parameters.cursor).finish();
}

ListResources::Parameters Coder<ListResources::Parameters>::decode(const Decoder& decoder) {
    return {.cursor = decoder.decodeIfPresent<std::string>("cursor")};
}

Value Coder<ListResources::Result>::encode(const ListResources::Result& result) {
    return ObjectEncoder().set("resources", result.resources).setIfPresent("nextCursor", result.nextCursor).finish();
}

ListResources::Result Coder<ListResources::Result>::decode(const Decoder& decoder) {
    return {
        .resources = decoder.decode<std::vector<Resource>>("resources"),
        .nextCursor = decoder.decodeIfPresent<std::string>("nextCursor"),
    };
}

Value Coder<ReadResource::Parameters>::encode(const ReadResource::Parameters& parameters) {
    return ObjectEncoder().set("uri", parameters.uri).finish();
}

ReadResource::Parameters Coder<ReadResource::Parameters>::decode(const Decoder& decoder) {
    return {.uri = decoder.decode<std::string>("uri")};
}

Value Coder<ReadResource::Result>::encode(const ReadResource::Result& result) {
    return ObjectEncoder().set("contents", result.contents).finish();
}

ReadResource::Result Coder<ReadResource::Result>::decode(const Decoder& decoder) {
    return {.contents = decoder.decode<std::vector<Resource::Content>>("contents")};
}

Value Coder<ListResourceTemplates::Parameters>::encode(const ListResourceTemplates::Parameters& parameters) {
    return ObjectEncoder().setIfPresent("cursor", parameters.cursor).finish();
}

ListResourceTemplates::Parameters Coder<ListResourceTemplates::Parameters>::decode(const Decoder& decoder) {
    return {.cursor = decoder.decodeIfPresent<std::string>("cursor")};
}

Value Coder<ListResourceTemplates::Result>::encode(const ListResourceTemplates::Result& result) {
    return ObjectEncoder()
        .set("resourceTemplates", result.templates)
        .setIfPresent("nextCursor", result.nextCursor)
        .finish();
}

ListResourceTemplates::Result Coder<ListResourceTemplates::Result>::decode(const Decoder& decoder) {
    return {
        .templates = decoder.decode<std::vector<Resource::Template>>("resourceTemplates"),
        .nextCursor = decoder.decodeIfPresent<std::string>("nextCursor"),
    };
}

Value Coder<ResourceSubscribe::Parameters>::encode(const ResourceSubscribe::Parameters& parameters) {
    return ObjectEncoder().set("uri", parameters.uri).finish();
}

ResourceSubscribe::Parameters Coder<ResourceSubscribe::Parameters>::decode(const Decoder& decoder) {
    return {.uri = decoder.decode<std::string>("uri")};
}

Value Coder<ResourceUpdatedNotification::Parameters>::encode(
    const ResourceUpdatedNotification::Parameters& parameters) {
    return ObjectEncoder().set("uri", parameters.uri).finish();
}

ResourceUpdatedNotification::Parameters Coder<ResourceUpdatedNotification::Parameters>::decode(const Decoder& decoder) {
    return {.uri = decoder.decode<std::string>("uri")};
}

}  // namespace lumenary::mcp
