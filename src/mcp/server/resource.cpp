#include "mcp/server/resource.hpp"

#include "mcp/core/base64.hpp"
#include "mcp/core/coders.hpp"
#include "mcp/server/hash_fields.hpp"

namespace lumenary::mcp {

Resource::Content Resource::Content::fromText(std::string text, std::string uri, std::optional<std::string> mimeType) {
    return {.uri = std::move(uri), .mimeType = std::move(mimeType), .text = std::move(text)};
}

Resource::Content Resource::Content::fromData(std::string_view bytes, std::string uri,
                                              std::optional<std::string> mimeType) {
    return {.uri = std::move(uri), .mimeType = std::move(mimeType), .blob = base64Encode(bytes)};
}

std::size_t Resource::Content::hash() const noexcept {
    return hashFields(uri, mimeType, text, blob);
}

std::size_t Resource::Template::hash() const noexcept {
    return hashFields(uriTemplate, name, description, mimeType);
}

std::size_t Resource::hash() const noexcept {
    return hashFields(name, uri, description, mimeType, metadata);
}

Value Coder<Resource::Content>::encode(const Resource::Content& content) {
    return ObjectEncoder()
        .set("uri", content.uri)
        .setIfPresent("mimeType", content.mimeType)
        .setIfPresent("text", content.text)
        .setIfPresent("blob", content.blob)
        .finish();
}

Resource::Content Coder<Resource::Content>::decode(const Decoder& decoder) {
    return {
        .uri = decoder.decode<std::string>("uri"),
        .mimeType = decoder.decodeIfPresent<std::string>("mimeType"),
        .text = decoder.decodeIfPresent<std::string>("text"),
        .blob = decoder.decodeIfPresent<std::string>("blob"),
    };
}

Value Coder<Resource::Template>::encode(const Resource::Template& resourceTemplate) {
    return ObjectEncoder()
        .set("uriTemplate", resourceTemplate.uriTemplate)
        .set("name", resourceTemplate.name)
        .setIfPresent("description", resourceTemplate.description)
        .setIfPresent("mimeType", resourceTemplate.mimeType)
        .finish();
}

Resource::Template Coder<Resource::Template>::decode(const Decoder& decoder) {
    return {
        .uriTemplate = decoder.decode<std::string>("uriTemplate"),
        .name = decoder.decode<std::string>("name"),
        .description = decoder.decodeIfPresent<std::string>("description"),
        .mimeType = decoder.decodeIfPresent<std::string>("mimeType"),
    };
}

Value Coder<Resource>::encode(const Resource& resource) {
    return ObjectEncoder()
        .set("name", resource.name)
        .set("uri", resource.uri)
        .setIfPresent("description", resource.description)
        .setIfPresent("mimeType", resource.mimeType)
        .setIfPresent("metadata", resource.metadata)
        .finish();
}

Resource Coder<Resource>::decode(const Decoder& decoder) {
    return {
        .name = decoder.decode<std::string>("name"),
        .uri = decoder.decode<std::string>("uri"),
        .description = decoder.decodeIfPresent<std::string>("description"),
        .mimeType = decoder.decodeIfPresent<std::string>("mimeType"),
        .metadata = decoder.decodeIfPresent<std::map<std::string, std::string>>("metadata"),
    };
}

}  // namespace lumenary::mcp
