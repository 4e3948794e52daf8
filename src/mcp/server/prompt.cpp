#include "mcp/server/prompt.hpp"

#include "mcp/core/coders.hpp"
#include "mcp/server/hash_fields.hpp"

namespace lumenary::mcp {

std::size_t Prompt::Argument::hash() const noexcept {
    return hashFields(name, description, required);
}

std::size_t Prompt::Message::Content::hash() const noexcept {
    const std::size_t position = value.index();
    if (const auto* item = std::get_if<Text>(&value)) {
        return hashFields(position, item->text);
    }
    if (const auto* item = std::get_if<Image>(&value)) {
        return hashFields(position, item->data, item->mimeType);
    }
    if (const auto* item = std::get_if<Audio>(&value)) {
        return hashFields(position, item->data, item->mimeType);
    }
    const auto& item = *std::get_if<Resource>(&value);
    return hashFields(position, item.uri, item.mimeType, item.text, item.blob);
}

std::optional<Prompt::Message::Role> Prompt::Message::roleNamed(std::string_view text) noexcept {
    if (text == "user") {
        return Role::user;
    }
    if (text == "assistant") {
        return Role::assistant;
    }
    return std::nullopt;
}

std::string_view Prompt::Message::nameOf(Role role) noexcept {
    return role == Role::user ? "user" : "assistant";
}

std::size_t Prompt::Message::hash() const noexcept {
    return hashFields(nameOf(role), content);
}

std::size_t Prompt::Reference::hash() const noexcept {
    return hashFields(name);
}

std::size_t Prompt::hash() const noexcept {
    return hashFields(name, description, arguments);
}

Value Coder<Prompt::Argument>::encode(const Prompt::Argument& argument) {
    return ObjectEncoder()
        .set("name", argument.name)
        .setIfPresent("description", argument.description)
        .setIfPresent("required", argument.required)
        .finish();
}

Prompt::Argument Coder<Prompt::Argument>::decode(const Decoder& decoder) {
    return {
        .name = decoder.decode<std::string>("name"),
        .description = decoder.decodeIfPresent<std::string>("description"),
        .required = decoder.decodeIfPresent<bool>("required"),
    };
}

Value Coder<Prompt::Message::Role>::encode(Prompt::Message::Role role) {
    return Prompt::Message::nameOf(role);
}

Prompt::Message::Role Coder<Prompt::Message::Role>::decode(const Decoder& decoder) {
    const auto text = decoder.decode<std::string>();
    if (auto role = Prompt::Message::roleNamed(text)) {
        return *role;
    }
    decoder.failDataCorrupted("Cannot read a message role from \"" + text + "\"");
}

Value Coder<Prompt::Message::Content>::encode(const Prompt::Message::Content& content) {
    using Content = Prompt::Message::Content;
    ObjectEncoder object;
    if (const auto* item = std::get_if<Content::Text>(&content.value)) {
        object.set("type", "text").set("text", item->text);
    } else if (const auto* image = std::get_if<Content::Image>(&content.value)) {
        object.set("type", "image").set("data", image->data).set("mimeType", image->mimeType);
    } else if (const auto* audio = std::get_if<Content::Audio>(&content.value)) {
        object.set("type", "audio").set("data", audio->data).set("mimeType", audio->mimeType);
    } else {
        const auto& resource = *std::get_if<Content::Resource>(&content.value);
        object.set("type", "resource")
            .set("uri", resource.uri)
            .set("mimeType", resource.mimeType)
            .setIfPresent("text", resource.text)
            .setIfPresent("blob", resource.blob);
    }
    return object.finish();
}

Prompt::Message::Content Coder<Prompt::Message::Content>::decode(const Decoder& decoder) {
    using Content = Prompt::Message::Content;
    const auto typeDecoder = decoder.member("type");
    const auto type = typeDecoder.decode<std::string>();
    if (type == "text") {
        return Content::text(decoder.decode<std::string>("text"));
    }
    if (type == "image") {
        return Content::image(decoder.decode<std::string>("data"), decoder.decode<std::string>("mimeType"));
    }
    if (type == "audio") {
        return Content::audio(decoder.decode<std::string>("data"), decoder.decode<std::string>("mimeType"));
    }
    if (type == "resource") {
        return Content::resource(decoder.decode<std::string>("uri"), decoder.decode<std::string>("mimeType"),
                                 decoder.decodeIfPresent<std::string>("text"),
                                 decoder.decodeIfPresent<std::string>("blob"));
    }
    typeDecoder.failDataCorrupted("Unknown content type");
}

Value Coder<Prompt::Message>::encode(const Prompt::Message& message) {
    return ObjectEncoder().set("role", message.role).set("content", message.content).finish();
}

Prompt::Message Coder<Prompt::Message>::decode(const Decoder& decoder) {
    return {
        .role = decoder.decode<Prompt::Message::Role>("role"),
        .content = decoder.decode<Prompt::Message::Content>("content"),
    };
}

Value Coder<Prompt::Reference>::encode(const Prompt::Reference& reference) {
    return ObjectEncoder().set("type", "ref/prompt").set("name", reference.name).finish();
}

Prompt::Reference Coder<Prompt::Reference>::decode(const Decoder& decoder) {
    decoder.decode<std::string>("type");
    return {.name = decoder.decode<std::string>("name")};
}

Value Coder<Prompt>::encode(const Prompt& prompt) {
    return ObjectEncoder()
        .set("name", prompt.name)
        .setIfPresent("description", prompt.description)
        .setIfPresent("arguments", prompt.arguments)
        .finish();
}

Prompt Coder<Prompt>::decode(const Decoder& decoder) {
    return {
        .name = decoder.decode<std::string>("name"),
        .description = decoder.decodeIfPresent<std::string>("description"),
        .arguments = decoder.decodeIfPresent<std::vector<Prompt::Argument>>("arguments"),
    };
}

}  // namespace lumenary::mcp
