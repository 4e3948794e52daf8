#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "mcp/core/decoder.hpp"
#include "mcp/core/unit_interval.hpp"

namespace lumenary::mcp {

// The data of a "sampling/createMessage" exchange, in which a server asks
// the client's model for a completion.
struct Sampling {
    Sampling() = delete;

    struct Message {
        enum class Role { user, assistant };

        struct TextContent {
            std::string text;
            friend bool operator==(const TextContent&, const TextContent&) = default;
        };
        // `data` is the image's bytes in base64.
        struct ImageContent {
            std::string data;
            std::string mimeType;
            friend bool operator==(const ImageContent&, const ImageContent&) = default;
        };
        using Content = std::variant<TextContent, ImageContent>;

        Role role = Role::user;
        Content content = {};

        static Message user(Content content) { return {Role::user, std::move(content)}; }
        static Message assistant(Content content) { return {Role::assistant, std::move(content)}; }

        friend bool operator==(const Message&, const Message&) = default;
    };

    struct ModelPreferences {
        struct Hint {
            std::optional<std::string> name = std::nullopt;
            friend bool operator==(const Hint&, const Hint&) = default;
        };

        std::optional<std::vector<Hint>> hints = std::nullopt;
        std::optional<UnitInterval> costPriority = std::nullopt;
        std::optional<UnitInterval> speedPriority = std::nullopt;
        std::optional<UnitInterval> intelligencePriority = std::nullopt;

        friend bool operator==(const ModelPreferences&, const ModelPreferences&) = default;
    };

    enum class ContextInclusion { none, thisServer, allServers };

    // Kept as the text received: models may stop for reasons newer than the
    // three named here, and such a reply must still be readable.
    struct StopReason {
        std::string rawValue;

        static StopReason endTurn() { return {"endTurn"}; }
        static StopReason stopSequence() { return {"stopSequence"}; }
        static StopReason maxTokens() { return {"maxTokens"}; }

        friend bool operator==(const StopReason&, const StopReason&) = default;
    };
};

template <>
struct Coder<Sampling::Message::Role> {
    static Value encode(Sampling::Message::Role role);
    static Sampling::Message::Role decode(const Decoder& decoder);
};

// {"type":"text","text":...} or {"type":"image","data":...,"mimeType":...}.
template <>
struct Coder<Sampling::Message::Content> {
    static Value encode(const Sampling::Message::Content& content);
    static Sampling::Message::Content decode(const Decoder& decoder);
};

template <>
struct Coder<Sampling::Message> {
    static Value encode(const Sampling::Message& message);
    static Sampling::Message decode(const Decoder& decoder);
};

template <>
struct Coder<Sampling::ModelPreferences::Hint> {
    static Value encode(const Sampling::ModelPreferences::Hint& hint);
    static Sampling::ModelPreferences::Hint decode(const Decoder& decoder);
};

template <>
struct Coder<Sampling::ModelPreferences> {
    static Value encode(const Sampling::ModelPreferences& preferences);
    static Sampling::ModelPreferences decode(const Decoder& decoder);
};

template <>
struct Coder<Sampling::ContextInclusion> {
    static Value encode(Sampling::ContextInclusion inclusion);
    static Sampling::ContextInclusion decode(const Decoder& decoder);
};

template <>
struct Coder<Sampling::StopReason> {
    static Value encode(const Sampling::StopReason& reason) { return reason.rawValue; }
    static Sampling::StopReason decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp
