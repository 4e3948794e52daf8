#pragma once

#include <exception>
#include <string>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "app/tools/tool_category.hpp"

namespace lumenary::app::testing {

// Runs one call of `category` to its end on a private main executor: the
// tool's text, or "<domain> <code> <description>" of its error.
inline std::string categoryCallText(ToolCategory& category, std::string name, PlainDictionary arguments = {}) {
    asio::io_context io;
    std::string outcome;
    asio::co_spawn(io, category.handle(std::move(name), std::move(arguments)),
                   [&outcome](std::exception_ptr error, ToolOutcome<std::string> result) {
                       if (error) {
                           outcome = "thrown";
                       } else if (result) {
                           outcome = std::move(result).value();
                       } else {
                           const auto& toolError = result.error();
                           outcome = toolError.domain() + " " + std::to_string(toolError.code()) + " " +
                                     toolError.description();
                       }
                   });
    io.run();
    return outcome;
}

}  // namespace lumenary::app::testing
