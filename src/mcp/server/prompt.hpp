#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "mcp/core/decoder.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// A prompt template that a server offers.
struct Prompt {
    struct Argument {
        std::string name;
        std::optional<std::string> description = std::nullopt;
        std::optional<bool> required = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Argument&, const Argument&) = default;
    };

    // One message of an expanded prompt.
    struct Message {
        enum class Role { user, assistant };

        // Unlike a tool's content, an image carries no metadata and an
        // embedded resource may carry a blob as well as, or instead of, text.
        struct Content {
            struct Text {
                std::string text;
                friend bool operator==(const Text&, const Text&) = default;
            };
            struct Image {
                std::string data;
                std::string mimeType;
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
                std::optional<std::string> blob = std::nullopt;
                friend bool operator==(const Resource&, const Resource&) = default;
            };
            using Case = std::variant<Text, Image, Audio, Resource>;

            Case value;

            Content(Case item) : value(std::move(item)) {}
            // Plain text is by far the common case, so a string stands for it.
            Content(std::string body) : value(Text{std::move(body)}) {}
            Content(const char* body) : value(Text{body}) {}

            static Content text(std::string body) { return Content(Text{std::move(body)}); }
            static Content image(std::string data, std::string mimeType) {
                return Content(Image{std::move(data), std::move(mimeType)});
            }
            static Content audio(std::string data, std::string mimeType) {
                return Content(Audio{std::move(data), std::move(mimeType)});
            }
            static Content resource(std::string uri, std::string mimeType,
                                    std::optional<std::string> body = std::nullopt,
                                    std::optional<std::string> blob = std::nullopt) {
                return Content(Resource{std::move(uri), std::move(mimeType), std::move(body), std::move(blob)});
            }

            std::size_t hash() const noexcept;
            friend bool operator==(const Content&, const Content&) = default;
        };

        Role role;
        Content content;

        static Message user(Content body) { return {Role::user, std::move(body)}; }
        static Message assistant(Content body) { return {Role::assistant, std::move(body)}; }

        // The role a wire string names, matched exactly; absent for any other.
        static std::optional<Role> roleNamed(std::string_view text) noexcept;
        static std::string_view nameOf(Role role) noexcept;

        std::size_t hash() const noexcept;
        friend bool operator==(const Message&, const Message&) = default;
    };

    // Names a prompt; written with "type": "ref/prompt".
    struct Reference {
        std::string name;

        std::size_t hash() const noexcept;
        friend bool operator==(const Reference&, const Reference&) = default;
    };

    std::string name;
    std::optional<std::string> description = std::nullopt;
    // An empty list is present, and is written as [].
    std::optional<std::vector<Argument>> arguments = std::nullopt;

    std::size_t hash() const noexcept;
    friend bool operator==(const Prompt&, const Prompt&) = default;
};

template <>
struct Coder<Prompt::Argument> {
    static Value encode(const Prompt::Argument& argument);
    static Prompt::Argument decode(const Decoder& decoder);
};

// The bare string "user" or "assistant"; any other string fails.
template <>
struct Coder<Prompt::Message::Role> {
    static Value encode(Prompt::Message::Role role);
    static Prompt::Message::Role decode(const Decoder& decoder);
};

// One flat object tagged by "type"; a type other than "text", "image",
// "audio" or "resource" fails with "Unknown content type".
template <>
struct Coder<Prompt::Message::Content> {
    static Value encode(const Prompt::Message::Content& content);
    static Prompt::Message::Content decode(const Decoder& decoder);
};

template <>
struct Coder<Prompt::Message> {
    static Value encode(const Prompt::Message& message);
    static Prompt::Message decode(const Decoder& decoder);
};

// Reading requires a "type" string but accepts any; it is not kept.
template <>
struct Coder<Prompt::Reference> {
    static Value encode(const Prompt::Reference& reference);
    static Prompt::Reference decode(const Decoder& decoder);
};

template <>
struct Coder<Prompt> {
    static Value encode(const Prompt& prompt);
    static Prompt decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp
