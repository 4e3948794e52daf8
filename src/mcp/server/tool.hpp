#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "mcp/core/decoder.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// One callable tool as a server lists it.
struct Tool {
    // Behaviour hints, each tri-state: absent, false or true. A value with
    // every member absent is empty, and a tool with empty annotations writes
    // no "annotations" key at all.
    struct Annotations {
        std::optional<std::string> title = std::nullopt;
        std::optional<bool> destructiveHint = std::nullopt;
        std::optional<bool> idempotentHint = std::nullopt;
        std::optional<bool> openWorldHint = std::nullopt;
        std::optional<bool> readOnlyHint = std::nullopt;

        bool isEmpty() const noexcept;
        std::size_t hash() const noexcept;

        friend bool operator==(const Annotations&, const Annotations&) = default;
    };

    // One item of a tool call's output. Binary payloads are carried as the
    // text the producer gave; nothing here encodes or checks them.
    struct Content {
        struct Text {
            std::string text;
            friend bool operator==(const Text&, const Text&) = default;
        };
        struct Image {
            std::string data;
            std::string mimeType;
            // An empty map is present, and differs from no map.
            std::optional<std::map<std::string, std::string>> metadata = std::nullopt;
            friend bool operator==(const Image&, const Image&) = default;
        };
        struct Audio {
            std::string data;
            std::string mimeType;
            friend bool operator==(const Audio&, const Audio&) = default;
        };
        struct Resource {
            std::string uri;
            std::string mimeType;
            std::optional<std::string> text = std::nullopt;
            friend bool operator==(const Resource&, const Resource&) = default;
        };
        using Case = std::variant<Text, Image, Audio, Resource>;

        Case value;

        Content(Case item) : value(std::move(item)) {}

        static Content text(std::string body) { return Content(Text{std::move(body)}); }
        static Content image(std::string data, std::string mimeType,
                             std::optional<std::map<std::string, std::string>> metadata = std::nullopt) {
            return Content(Image{std::move(data), std::move(mimeType), std::move(metadata)});
        }
        static Content audio(std::string data, std::string mimeType) {
            return Content(Audio{std::move(data), std::move(mimeType)});
        }
        static Content resource(std::string uri, std::string mimeType, std::optional<std::string> body = std::nullopt) {
            return Content(Resource{std::move(uri), std::move(mimeType), std::move(body)});
        }

        std::size_t hash() const noexcept;

        friend bool operator==(const Content&, const Content&) = default;
    };

    std::string name;
    std::optional<std::string> description = std::nullopt;
    // The JSON Schema of the arguments, kept as it came.
    Value inputSchema = {};
    Annotations annotations = {};

    std::size_t hash() const noexcept;

    friend bool operator==(const Tool&, const Tool&) = default;
};

// Only present members are written; missing and null members read as absent.
template <>
struct Coder<Tool::Annotations> {
    static Value encode(const Tool::Annotations& annotations);
    static Tool::Annotations decode(const Decoder& decoder);
};

// One flat object tagged by "type"; a type other than "text", "image",
// "audio" or "resource" fails with "Unknown tool content type".
template <>
struct Coder<Tool::Content> {
    static Value encode(const Tool::Content& content);
    static Tool::Content decode(const Decoder& decoder);
};

// "description" is always written, as null when absent; missing or null
// "annotations" read as the empty value.
template <>
struct Coder<Tool> {
    static Value encode(const Tool& tool);
    static Tool decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp
