#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "mcp/core/method.hpp"
#include "mcp/server/prompt.hpp"

namespace lumenary::mcp {

// "prompts/list": the prompt templates a server offers, a page at a time.
struct ListPrompts {
    static constexpr std::string_view name = "prompts/list";

    struct Parameters {
        std::optional<std::string> cursor = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    struct Result {
        std::vector<Prompt> prompts;
        std::optional<std::string> nextCursor = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Result&, const Result&) = default;
    };
};

// "prompts/get": expands one prompt template into messages.
struct GetPrompt {
    static constexpr std::string_view name = "prompts/get";

    struct Parameters {
        std::string name;
        // Whole JSON values: numbers and booleans keep their type.
        std::optional<std::map<std::string, Value>> arguments = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    struct Result {
        std::optional<std::string> description = std::nullopt;
        std::vector<Prompt::Message> messages;

        std::size_t hash() const noexcept;
        friend bool operator==(const Result&, const Result&) = default;
    };
};

struct PromptListChangedNotification {
    static constexpr std::string_view name = "notifications/prompts/list_changed";
    using Parameters = Empty;
};

// A "prompts/list" request without "params" asks for the first page.
template <>
struct NotRequired<ListPrompts::Parameters> : std::true_type {
    static ListPrompts::Parameters make() { return {}; }
};

template <>
struct Coder<ListPrompts::Parameters> {
    static Value encode(const ListPrompts::Parameters& parameters);
    static ListPrompts::Parameters decode(const Decoder& decoder);
};

template <>
struct Coder<ListPrompts::Result> {
    static Value encode(const ListPrompts::Result& result);
    static ListPrompts::Result decode(const Decoder& decoder);
};

template <>
struct Coder<GetPrompt::Parameters> {
    static Value encode(const GetPrompt::Parameters& parameters);
    static GetPrompt::Parameters decode(const Decoder& decoder);
};

template <>
struct Coder<GetPrompt::Result> {
    static Value encode(const GetPrompt::Result& result);
    static GetPrompt::Result decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp
