#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "mcp/core/method.hpp"
#include "mcp/server/resource.hpp"

namespace lumenary::mcp {

// "resources/list": the resources a server exposes, a page at a time.
struct ListResources {
    static constexpr std::string_view name = "resources/list";

    struct Parameters {
        std::optional<std::string> cursor = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    struct Result {
        std::vector<Resource> resources;
        std::optional<std::string> nextCursor = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Result&, const Result&) = default;
    };
};

// "resources/read": the contents behind one URI.
struct ReadResource {
    static constexpr std::string_view name = "resources/read";

    struct Parameters {
        std::string uri;

        std::size_t hash() const noexcept;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    struct Result {
        std::vector<Resource::Content> contents;

        std::size_t hash() const noexcept;
        friend bool operator==(const Result&, const Result&) = default;
    };
};

// "resources/templates/list": the URI templates a server offers.
struct ListResourceTemplates {
    static constexpr std::string_view name = "resources/templates/list";

    struct Parameters {
        std::optional<std::string> cursor = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    // `templates` travels under "resourceTemplates".
    struct Result {
        std::vector<Resource::Template> templates;
        std::optional<std::string> nextCursor = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Result&, const Result&) = default;
    };
};

// "resources/subscribe": asks for updates of one URI; answered with {}.
struct ResourceSubscribe {
    static constexpr std::string_view name = "resources/subscribe";

    struct Parameters {
        std::string uri;

        std::size_t hash() const noexcept;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    using Result = Empty;
};

struct ResourceListChangedNotification {
    static constexpr std::string_view name = "notifications/resources/list_changed";
    using Parameters = Empty;
};

struct ResourceUpdatedNotification {
    static constexpr std::string_view name = "notifications/resources/updated";

    struct Parameters {
        std::string uri;

        std::size_t hash() const noexcept;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };
};

// The list requests without "params" ask for the first page.
template <>
struct NotRequired<ListResources::Parameters> : std::true_type {
    static ListResources::Parameters make() { return {}; }
};

template <>
struct NotRequired<ListResourceTemplates::Parameters> : std::true_type {
    static ListResourceTemplates::Parameters make() { return {}; }
};

template <>
struct Coder<ListResources::Parameters> {
    static Value encode(const ListResources::Parameters& parameters);
    static ListResources::Parameters decode(const Decoder& decoder);
};

template <>
struct Coder<ListResources::Result> {
    static Value encode(const ListResources::Result& result);
    static ListResources::Result decode(const Decoder& decoder);
};

template <>
struct Coder<ReadResource::Parameters> {
    static Value encode(const ReadResource::Parameters& parameters);
    static ReadResource::Parameters decode(const Decoder& decoder);
};

template <>
struct Coder<ReadResource::Result> {
    static Value encode(const ReadResource::Result& result);
    static ReadResource::Result decode(const Decoder& decoder);
};

template <>
struct Coder<ListResourceTemplates::Parameters> {
    static Value encode(const ListResourceTemplates::Parameters& parameters);
    static ListResourceTemplates::Parameters decode(const Decoder& decoder);
};

template <>
struct Coder<ListResourceTemplates::Result> {
    static Value encode(const ListResourceTemplates::Result& result);
    static ListResourceTemplates::Result decode(const Decoder& decoder);
};

template <>
struct Coder<ResourceSubscribe::Parameters> {
    static Value encode(const ResourceSubscribe::Parameters& parameters);
    static ResourceSubscribe::Parameters decode(const Decoder& decoder);
};

template <>
struct Coder<ResourceUpdatedNotification::Parameters> {
    static Value encode(const ResourceUpdatedNotification::Parameters& parameters);
    static ResourceUpdatedNotification::Parameters decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp
