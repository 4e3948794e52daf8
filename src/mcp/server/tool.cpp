#include "mcp/server/tool.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/server/hash_fields.hpp"

namespace lumenary::mcp {

bool Tool::Annotations::isEmpty() const noexcept {
    return !title && !destructiveHint && !idempotentHint && !openWorldHint && !readOnlyHint;
}

std::size_t Tool::Annotations::hash() const noexcept {
    return hashFields(title, destructiveHint, idempotentHint, openWorldHint, readOnlyHint);
}

std::size_t Tool::Content::hash() const noexcept {
    const std::size_t position = value.index();
    if (const auto* item = std::get_if<Text>(&value)) {
        return hashFields(position, item->text);
    }
    if (const auto* item = std::get_if<Image>(&value)) {
        return hashFields(position, item->data, item->mimeType, item->metadata);
    }
    if (const auto* item = std::get_if<Audio>(&value)) {
        return hashFields(position, item->data, item->mimeType);
    }
    const auto& item = *std::get_if<Resource>(&value);
    return hashFields(position, item.uri, item.mimeType, item.text);
}

std::size_t Tool::hash() const noexcept {
    return hashFields(name, description, inputSchema, annotations);
}

Value Coder<Tool::Annotations>::encode(const Tool::Annotations& annotations) {
    return ObjectEncoder()
        .setIfPresent("title", annotations.title)
        .setIfPresent("destructiveHint", annotations.destructiveHint)
        .setIfPresent("idempotentHint", annotations.idempotentHint)
        .setIfPresent("openWorldHint", annotations.openWorldHint)
        .setIfPresent("readOnlyHint", annotations.readOnlyHint)
        .finish();
}

Tool::Annotations Coder<Tool::Annotations>::decode(const Decoder& decoder) {
    return {
        .title = decoder.decodeIfPresent<std::string>("title"),
        .destructiveHint = decoder.decodeIfPresent<bool>("destructiveHint"),
        .idempotentHint = decoder.decodeIfPresent<bool>("idempotentHint"),
        .openWorldHint = decoder.decodeIfPresent<bool>("openWorldHint"),
        .readOnlyHint = decoder.decodeIfPresent<bool>("readOnlyHint"),
    };
}

Value Coder<Tool::Content>::encode(const Tool::Content& content) {
    using Content = Tool::Content;
    ObjectEncoder object;
    if (const auto* item = std::get_if<Content::Text>(&content.value)) {
        object.set("type", "text").set("text", item->text);
    } else if (const auto* image = std::get_if<Content::Image>(&content.value)) {
        object.set("type", "image")
            .set("data", image->data)
            .set("mimeType", image->mimeType)
            .setIfPresent("metadata", image->metadata);
    } else if (const auto* audio = std::get_if<Content::Audio>(&content.value)) {
        object.set("type", "audio").set("data", audio->data).set("mimeType", audio->mimeType);
    } else {
        const auto& resource = *std::get_if<Content::Resource>(&content.value);
        object.set("type", "resource")
            .set("uri", resource.uri)
            .set("mimeType", resource.mimeType)
            .setIfPresent("text", resource.text);
    }
    return object.finish();
}

Tool::Content Coder<Tool::Content>::decode(const Decoder& decoder) {
    using Content = Tool::Content;
    const auto typeDecoder = decoder.member("type");
    const auto type = typeDecoder.decode<std::string>();
    if (type == "text") {
        return Content::text(decoder.decode<std::string>("text"));
    }
    if (type == "image") {
        return Content::image(decoder.decode<std::string>("data"), decoder.decode<std::string>("mimeType"),
                              decoder.decodeIfPresent<std::map<std::string, std::string>>("metadata"));
    }
    if (type == "audio") {
        return Content::audio(decoder.decode<std::string>("data"), decoder.decode<std::string>("mimeType"));
    }
    if (type == "resource") {
        return Content::resource(decoder.decode<std::string>("uri"), decoder.decode<std::string>("mimeType"),
                                 decoder.decodeIfPresent<std::string>("text"));
    }
    typeDecoder.failDataCorrupted("Unknown tool content type");
}

Value Coder<Tool>::encode(const Tool& tool) {
    ObjectEncoder object;
    object.set("name", tool.name).set("description", tool.description).set("inputSchema", tool.inputSchema);
    if (!tool.annotations.isEmpty()) {
        object.set("annotations", tool.annotations);
    }
    return object.finish();
}

Tool Coder<Tool>::decode(const Decoder& decoder) {
    return {
        .name = decoder.decode<std::string>("name"),
        .description = decoder.decodeIfPresent<std::string>("description"),
        .inputSchema = decoder.decode<Value>("inputSchema"),
        .annotations = decoder.decodeIfPresent<Tool::Annotations>("annotations").value_or(Tool::Annotations{}),
    };
}

}  // namespace lumenary::mcp
