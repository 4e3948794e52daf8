#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace lumenary::app {

// Why a tool call was refused or failed: a domain such as "LocalTool", a
// code (400, 403, 404, 500) and the text a user reads. Categories and the
// dispatcher return it in a ToolOutcome; it is an exception only so that a
// category may still throw it.
class ToolError : public std::exception {
public:
    ToolError(std::string domain, std::int64_t code, std::string description)
        : domain_(std::move(domain)), code_(code), description_(std::move(description)) {}

    const std::string& domain() const noexcept { return domain_; }
    std::int64_t code() const noexcept { return code_; }
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::string domain_;
    std::int64_t code_;
    std::string description_;
};

}  // namespace lumenary::app
