#include "platform/music/file_uri.hpp"

#include "platform/text/percent_encoding.hpp"

namespace lumenary::platform {

namespace {

int hexadecimalDigit(char character) {
    if (character >= '0' && character <= '9') return character - '0';
    if (character >= 'a' && character <= 'f') return character - 'a' + 10;
    if (character >= 'A' && character <= 'F') return character - 'A' + 10;
    return -1;
}

}  // namespace

std::string fileUri(const std::filesystem::path& absolutePath) {
    return "file://" + percentEncoded(absolutePath.string(), "/");
}

std::optional<std::string> pathOfFileUri(std::string_view uri) {
    constexpr std::string_view scheme = "file://";
    if (!uri.starts_with(scheme)) {
        return std::nullopt;
    }
    uri.remove_prefix(scheme.size());
    if (uri.starts_with("localhost/")) {
        uri.remove_prefix(std::string_view("localhost").size());
    }
    if (!uri.starts_with('/')) {
        return std::nullopt;
    }
    std::string path;
    path.reserve(uri.size());
    for (std::size_t index = 0; index < uri.size(); ++index) {
        if (uri[index] == '%' && index + 2 < uri.size()) {
            const int high = hexadecimalDigit(uri[index + 1]);
            const int low = hexadecimalDigit(uri[index + 2]);
            if (high >= 0 && low >= 0) {
                const char byte = static_cast<char>(high * 16 + low);
                if (byte == '\0') {
                    return std::nullopt;
                }
                path.push_back(byte);
                index += 2;
                continue;
            }
        }
        path.push_back(uri[index]);
    }
    return path;
}

}  // namespace lumenary::platform
