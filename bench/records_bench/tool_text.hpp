#pragma once

#include <stdexcept>
#include <string>

#include "app/tools/tool_category.hpp"
#include "support/run_awaitable.hpp"

namespace records_bench {

// The text of one call of `category`, through its worker-pool hops. An error
// throws, so a benchmark never goes on timing a failure.
inline std::string toolText(lumenary::app::ToolCategory& category, const std::string& tool,
                            lumenary::app::PlainDictionary arguments) {
    auto outcome = lumenary::testing::runAwaitable(category.handle(tool, std::move(arguments)));
    if (!outcome) {
        throw std::runtime_error(outcome.error().description());
    }
    return std::move(outcome).value();
}

}  // namespace records_bench
