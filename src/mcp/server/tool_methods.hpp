#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "mcp/core/method.hpp"
#include "mcp/server/tool.hpp"

namespace lumenary::mcp {

// "tools/list": the tools a server offers, a page at a time.
struct ListTools {
    static constexpr std::string_view name = "tools/list";

    struct Parameters {
        // Opaque here; only the handler gives it a meaning.
        std::optional<std::string> cursor = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    struct Result {
        std::vector<Tool> tools;
        std::optional<std::string> nextCursor = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Result&, const Result&) = default;
    };
};

// "tools/call": runs one tool by name. A tool that fails while running still
// answers with a result, marked by `isError`, not with a protocol error.
struct CallTool {
    static constexpr std::string_view name = "tools/call";

    struct Parameters {
        std::string name;
        std::optional<std::map<std::string, Value>> arguments = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Parameters&, const Parameters&) = default;
    };

    struct Result {
        std::vector<Tool::Content> content;
        std::optional<bool> isError = std::nullopt;

        std::size_t hash() const noexcept;
        friend bool operator==(const Result&, const Result&) = default;
    };
};

struct ToolListChangedNotification {
    static constexpr std::string_view name = "notifications/tools/list_changed";
    using Parameters = Empty;
};

// A "tools/list" request without "params" asks for the first page.
template <>
struct NotRequired<ListTools::Parameters> : std::true_type {
    static ListTools::Parameters make() { return {}; }
};

template <>
struct Coder<ListTools::Parameters> {
    static Value encode(const ListTools::Parameters& parameters);
    static ListTools::Parameters decode(const Decoder& decoder);
};

template <>
struct Coder<ListTools::Result> {
    static Value encode(const ListTools::Result& result);
    static ListTools::Result decode(const Decoder& decoder);
};

template <>
struct Coder<CallTool::Parameters> {
    static Value encode(const CallTool::Parameters& parameters);
    static CallTool::Parameters decode(const Decoder& decoder);
};

template <>
struct Coder<CallTool::Result> {
    static Value encode(const CallTool::Result& result);
    static CallTool::Result decode(const Decoder& decoder);
};

}  // namespace lumenary::mcp
