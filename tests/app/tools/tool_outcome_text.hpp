#pragma once

#include <exception>
#include <string>

#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "app/tools/tool_category.hpp"

namespace lumenary::app::testing {

// Runs one tool call to its end on `io`, then readies `io` for the next:
// the tool's text, or "<domain> <code> <description>" of its error.
inline std::string toolOutcomeText(asio::io_context& io, asio::awaitable<ToolOutcome<std::string>> call) {
    std::string outcome;
    asio::co_spawn(io, std::move(call), [&outcome](std::exception_ptr error, ToolOutcome<std::string> result) {
        if (error) {
            outcome = "thrown";
        } else if (result) {
            outcome = std::move(result).value();
        } else {
            const auto& toolError = result.error();
            outcome = toolError.domain() + " " + std::to_string(toolError.code()) + " " + toolError.description();
        }
    });
    io.run();
    io.restart();
    return outcome;
}

}  // namespace lumenary::app::testing
