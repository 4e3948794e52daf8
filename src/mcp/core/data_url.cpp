#include "mcp/core/data_url.hpp"

#include "mcp/core/base64.hpp"
#include "system/utf8.hpp"

namespace lumenary::mcp {

namespace {

constexpr std::string_view scheme = "data:";
constexpr std::string_view charsetMarker = ";charset=";
constexpr std::string_view base64Marker = ";base64";

struct DataURLParts {
    std::string_view mediaType;
    std::optional<std::string_view> charset;
    std::string_view payload;
};

// The grammar has no ambiguity (type and charset stop at the first "," or
// ";"), so one forward scan decides the match: no backtracking, no recursion,
// whatever the payload's size.
std::optional<DataURLParts> matchDataURL(std::string_view text) {
    if (!text.starts_with(scheme)) {
        return std::nullopt;
    }
    DataURLParts parts;
    std::size_t position = scheme.size();
    const auto parameterEnd = [&](std::size_t from) {
        const std::size_t end = text.find_first_of(",;", from);
        return end == std::string_view::npos ? text.size() : end;
    };

    const std::size_t typeEnd = parameterEnd(position);
    parts.mediaType = text.substr(position, typeEnd - position);
    position = typeEnd;

    if (text.substr(position).starts_with(charsetMarker)) {
        const std::size_t charsetStart = position + charsetMarker.size();
        const std::size_t charsetEnd = parameterEnd(charsetStart);
        if (charsetEnd > charsetStart) {
            parts.charset = text.substr(charsetStart, charsetEnd - charsetStart);
            position = charsetEnd;
        }
    }
    if (text.substr(position).starts_with(base64Marker)) {
        position += base64Marker.size();
    }
    if (position >= text.size() || text[position] != ',') {
        return std::nullopt;
    }
    parts.payload = text.substr(position + 1);
    return parts;
}

int hexDigit(char character) {
    if (character >= '0' && character <= '9') return character - '0';
    if (character >= 'a' && character <= 'f') return character - 'a' + 10;
    if (character >= 'A' && character <= 'F') return character - 'A' + 10;
    return -1;
}

std::optional<std::string> percentDecode(std::string_view payload) {
    std::string bytes;
    bytes.reserve(payload.size());
    for (std::size_t index = 0; index < payload.size(); ++index) {
        if (payload[index] != '%') {
            bytes.push_back(payload[index]);
            continue;
        }
        if (index + 2 >= payload.size()) {
            return std::nullopt;
        }
        const int high = hexDigit(payload[index + 1]);
        const int low = hexDigit(payload[index + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<char>(high << 4 | low));
        index += 2;
    }
    if (!system::isValidUTF8(bytes)) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

bool isDataURL(std::string_view text) {
    return matchDataURL(text).has_value();
}

std::optional<ParsedDataURL> parseDataURL(std::string_view text) {
    const auto parts = matchDataURL(text);
    if (!parts) {
        return std::nullopt;
    }
    ParsedDataURL parsed;
    parsed.mimeType = parts->mediaType.empty() ? "text/plain" : std::string(parts->mediaType);
    if (parts->charset && parsed.mimeType.starts_with("text/")) {
        parsed.mimeType += ";charset=";
        parsed.mimeType += *parts->charset;
    }
    // The marker is looked for in the whole text, payload included, so a
    // payload that itself holds ";base64," is read as base64.
    auto decoded =
        text.find(";base64,") != std::string_view::npos ? base64Decode(parts->payload) : percentDecode(parts->payload);
    if (!decoded) {
        return std::nullopt;
    }
    parsed.data = std::move(*decoded);
    return parsed;
}

std::string dataURLEncoded(std::string_view bytes, const std::optional<std::string>& mimeType) {
    std::string text(scheme);
    text += mimeType ? std::string_view(*mimeType) : std::string_view("text/plain");
    text += ";base64,";
    text += base64Encode(bytes);
    return text;
}

}  // namespace lumenary::mcp
