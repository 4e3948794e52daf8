#include "mcp/core/coding_error.hpp"

namespace lumenary::mcp {

std::string codingPathText(const CodingPath& path) {
    std::string text;
    for (const auto& component : path) {
        if (!text.empty()) {
            text += '.';
        }
        text += component;
    }
    return text;
}

DecodingError::DecodingError(Kind kind, CodingPath codingPath, std::string description)
    : kind_(kind), codingPath_(std::move(codingPath)), description_(std::move(description)) {
    message_ = description_;
    if (!codingPath_.empty()) {
        message_ += " (at " + codingPathText(codingPath_) + ")";
    }
}

}  // namespace lumenary::mcp
