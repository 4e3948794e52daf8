#pragma once

#include <string>

#include "app/tools/tool_error.hpp"

namespace lumenary::app {

// A fetch that a limit or the page itself ended, rather than the engine.
inline ToolError webFetchFailure(std::string description) {
    return ToolError("WebPageFetcher", 500, std::move(description));
}

}  // namespace lumenary::app
