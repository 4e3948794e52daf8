#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumenary::mcp {

// A narrow subset of RFC 2397: data:[<type>][;charset=<c>][;base64],<payload>
// and no other parameter. Failures are absent results, never errors.
struct ParsedDataURL {
    std::string mimeType;
    std::string data;
};

bool isDataURL(std::string_view text);

// Absent when the text is no data URL or its payload does not decode.
std::optional<ParsedDataURL> parseDataURL(std::string_view text);

// "data:" + type ("text/plain" when absent) + ";base64," + payload.
std::string dataURLEncoded(std::string_view bytes, const std::optional<std::string>& mimeType);

}  // namespace lumenary::mcp
