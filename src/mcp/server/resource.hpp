#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "mcp/core/decoder.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// One resource that a server exposes.
struct Resource {
    // The contents of one resource as read: text in `text`, bytes in `blob`
    // as standard base64. Reading checks neither that exactly one is set nor
    // that `blob` is base64.
    struct Content {
        std::string uri;
        std::optional<std::string> mimeType = std::nullopt;
        std::optional<std::string> text = std::nullopt;
        std::optional<std::string> blob = std::nullopt;

        static Content fromText(std::string text, std::string uri, std::optional<std::string> mimeType = std::nullopt);
        static Content fromData(std::string_view bytes, std::string uri,
                                std::optional<std::string> mimeType = std::nullopt);

        std::size_t hash() const noexcept;
        friend bool operator==(const Content&, const Content&) = default;
    };

    // A family of resources described by a URI template.
    struct Template {
        std::string uriTemplate;
        std::string name;
        std::optional<std::string> description = std::nullopt;
        std::optional<std::string> mimeType = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Template&, const Template&) = default;
    };

    std::string name;
    std::string uri;
    std::optional<std::string> description = std::nullopt;
    std::optional<std::string> mimeType = std::nullopt;
    // An empty map is present, and is written as {}.
    std::optional<std::map<std::string, std::string>> metadata = std::nullopt;

    std::size_t hash() const noexcept;
    friend bool operator==(const Resource&, const Resource&) = default;
};

template <>
struct Coder<Resource::Content> {
    static Value encode(const Resource::Content& content);
    static Resource::Content decode(const Decoder& decoder);
};

template <>
struct Coder<Resource::Template> {
    static Value encode(const Resource::Template& resourceTemplate);
    static Resource::Template decode(const Decoder& decoder);
};

template <>
struct Coder<Resource> {
    static Value encode(const Resource& resource);
    static Resource decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp
