#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mcp/core/coders.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/decoder.hpp"
#include "mcp/core/json.hpp"

// Typed values to and from JSON text, the way they travel on the wire.
namespace lumenary::mcp {

template <typename T>
T readAs(std::string_view text) {
    return decodeValue<T>(parseJSON(text));
}

template <typename T>
std::string writtenText(const T& typed) {
    return writeJSON(encodeValue(typed));
}

// The text read as T and written again.
template <typename T>
std::string rewrittenText(std::string_view text) {
    return writtenText(readAs<T>(text));
}

// The error reading the text as T; absent when it reads.
template <typename T>
std::optional<DecodingError> readingFailure(std::string_view text) {
    try {
        readAs<T>(text);
    } catch (const DecodingError& error) {
        return error;
    }
    return std::nullopt;
}

}  // namespace lumenary::mcp
