#pragma once

#include <string>

#include <asio/io_context.hpp>

#include "app/tools/tool_category.hpp"
#include "app/tools/tool_outcome_text.hpp"

namespace lumenary::app::testing {

// Runs one call of `category` to its end on a private main executor: the
// tool's text, or "<domain> <code> <description>" of its error.
inline std::string categoryCallText(ToolCategory& category, std::string name, PlainDictionary arguments = {}) {
    asio::io_context io;
    return toolOutcomeText(io, category.handle(std::move(name), std::move(arguments)));
}

}  // namespace lumenary::app::testing
