#include "app/http/http_response.hpp"

#include "mcp/core/json.hpp"
#include "mcp/core/value.hpp"
#include "system/utf8.hpp"

namespace lumenary::http {

namespace {

// A description may quote the peer's bytes, which need not be UTF-8; the JSON
// writer refuses such text, so in that case every non-ASCII byte becomes
// U+FFFD.
std::string asUTF8(std::string_view text) {
    if (system::isValidUTF8(text)) {
        return std::string(text);
    }
    std::string result;
    for (const char character : text) {
        if (static_cast<unsigned char>(character) < 0x80) {
            result.push_back(character);
        } else {
            result.append("\xEF\xBF\xBD");
        }
    }
    return result;
}

}  // namespace

std::string httpResponseBytes(int status, std::string_view statusText, const HTTPHeaders& headers,
                              std::string_view body) {
    std::string bytes;
    bytes.reserve(256 + body.size());
    bytes.append("HTTP/1.1 ").append(std::to_string(status)).append(" ").append(statusText).append("\r\n");
    const std::string contentLength = std::to_string(body.size());
    bool wroteLength = false;
    for (const auto& [name, value] : headers) {
        const bool isLength = name == "Content-Length";
        bytes.append(name).append(": ").append(isLength ? contentLength : value).append("\r\n");
        wroteLength = wroteLength || isLength;
    }
    if (!wroteLength) {
        bytes.append("Content-Length: ").append(contentLength).append("\r\n");
    }
    bytes.append("Connection: close\r\n\r\n").append(body);
    return bytes;
}

std::string jsonRPCErrorBody(std::int64_t code, std::string_view message) {
    std::string body = R"({"jsonrpc":"2.0","id":null,"error":{"code":)";
    body.append(std::to_string(code)).append(R"(,"message":)");
    mcp::appendJSON(body, mcp::Value(asUTF8(message)));
    body.append("}}");
    return body;
}

}  // namespace lumenary::http
