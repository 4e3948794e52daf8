#include "mcp/core/sampling.hpp"

#include "mcp/core/coders.hpp"

namespace lumenary::mcp {

namespace {

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

Value Coder<Sampling::Message::Role>::encode(Sampling::Message::Role role) {
    switch (role) {
        case Sampling::Message::Role::user: return "user";
        case Sampling::Message::Role::assistant: return "assistant";
    }
    throw EncodingError("Unknown message role");
}

Sampling::Message::Role Coder<Sampling::Message::Role>::decode(const Decoder& decoder) {
    auto text = decoder.decode<std::string>();
    if (text == "user") {
        return Sampling::Message::Role::user;
    }
    if (text == "assistant") {
        return Sampling::Message::Role::assistant;
    }
    decoder.failDataCorrupted("Unknown message role " + inQuotes(text));
}

Value Coder<Sampling::Message::Content>::encode(const Sampling::Message::Content& content) {
    if (const auto* text = std::get_if<Sampling::Message::TextContent>(&content)) {
        return ObjectEncoder().set("type", std::string("text")).set("text", text->text).finish();
    }
    const auto& image = std::get<Sampling::Message::ImageContent>(content);
    return ObjectEncoder()
        .set("type", std::string("image"))
        .set("data", image.data)
        .set("mimeType", image.mimeType)
        .finish();
}

Sampling::Message::Content Coder<Sampling::Message::Content>::decode(const Decoder& decoder) {
    auto typeDecoder = decoder.member("type");
    auto type = typeDecoder.decode<std::string>();
    if (type == "text") {
        return Sampling::Message::TextContent{decoder.decode<std::string>("text")};
    }
    if (type == "image") {
        return Sampling::Message::ImageContent{decoder.decode<std::string>("data"),
                                               decoder.decode<std::string>("mimeType")};
    }
    typeDecoder.failDataCorrupted("Unknown sampling message content type");
}

Value Coder<Sampling::Message>::encode(const Sampling::Message& message) {
    return ObjectEncoder().set("role", message.role).set("content", message.content).finish();
}

Sampling::Message Coder<Sampling::Message>::decode(const Decoder& decoder) {
    return {
        .role = decoder.decode<Sampling::Message::Role>("role"),
        .content = decoder.decode<Sampling::Message::Content>("content"),
    };
}

Value Coder<Sampling::ModelPreferences::Hint>::encode(const Sampling::ModelPreferences::Hint& hint) {
    return ObjectEncoder().setIfPresent("name", hint.name).finish();
}

Sampling::ModelPreferences::Hint Coder<Sampling::ModelPreferences::Hint>::decode(const Decoder& decoder) {
    return {.name = decoder.decodeIfPresent<std::string>("name")};
}

Value Coder<Sampling::ModelPreferences>::encode(const Sampling::ModelPreferences& preferences) {
    return ObjectEncoder()
        .setIfPresent("hints", preferences.hints)
        .setIfPresent("costPriority", preferences.costPriority)
        .setIfPresent("speedPriority", preferences.speedPriority)
        .setIfPresent("intelligencePriority", preferences.intelligencePriority)
        .finish();
}

Sampling::ModelPreferences Coder<Sampling::ModelPreferences>::decode(const Decoder& decoder) {
    return {
        .hints = decoder.decodeIfPresent<std::vector<Sampling::ModelPreferences::Hint>>("hints"),
        .costPriority = decoder.decodeIfPresent<UnitInterval>("costPriority"),
        .speedPriority = decoder.decodeIfPresent<UnitInterval>("speedPriority"),
        .intelligencePriority = decoder.decodeIfPresent<UnitInterval>("intelligencePriority"),
    };
}

Value Coder<Sampling::ContextInclusion>::encode(Sampling::ContextInclusion inclusion) {
    switch (inclusion) {
        case Sampling::ContextInclusion::none: return "none";
        case Sampling::ContextInclusion::thisServer: return "thisServer";
        case Sampling::ContextInclusion::allServers: return "allServers";
    }
    throw EncodingError("Unknown context inclusion");
}

Sampling::ContextInclusion Coder<Sampling::ContextInclusion>::decode(const Decoder& decoder) {
    auto text = decoder.decode<std::string>();
    if (text == "none") {
        return Sampling::ContextInclusion::none;
    }
    if (text == "thisServer") {
        return Sampling::ContextInclusion::thisServer;
    }
    if (text == "allServers") {
        return Sampling::ContextInclusion::allServers;
    }
    decoder.failDataCorrupted("Unknown context inclusion " + inQuotes(text));
}

Sampling::StopReason Coder<Sampling::StopReason>::decode(const Decoder& decoder) {
    return {decoder.decode<std::string>()};
}

}  // namespace lumenary::mcp
