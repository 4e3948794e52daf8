#pragma once

// What the interop drivers share: checks that name each failure on standard
// error under the driver's own name and count it for the exit status, and
// the text a tool call answered with.
#include <cerrno>
#include <cstdio>
#include <string>
#include <variant>

#include "mcp/server/tool_methods.hpp"

namespace lumenary::interop {

inline int failures = 0;

inline void check(bool holds, const std::string& what) {
    if (!holds) {
        std::fprintf(stderr, "%s: check failed: %s\n", program_invocation_short_name, what.c_str());
        ++failures;
    }
}

template <typename Actual, typename Expected>
void checkEqual(const Actual& actual, const Expected& expected, const std::string& what) {
    check(actual == expected, what + " (got \"" + std::string(actual) + "\")");
}

inline std::string firstText(const mcp::CallTool::Result& result) {
    const auto* text =
        result.content.empty() ? nullptr : std::get_if<mcp::Tool::Content::Text>(&result.content[0].value);
    return text ? text->text : std::string("<no text>");
}

}  // namespace lumenary::interop
