#include "platform/text/percent_encoding.hpp"

namespace lumenary::platform {

namespace {

bool isUnreserved(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
           byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

}  // namespace

std::string percentEncoded(std::string_view text, std::string_view alsoBare) {
    static constexpr char hexadecimal[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (isUnreserved(byte) || (byte != 0 && alsoBare.find(character) != std::string_view::npos)) {
            encoded.push_back(character);
            continue;
        }
        encoded.push_back('%');
        encoded.push_back(hexadecimal[byte >> 4]);
        encoded.push_back(hexadecimal[byte & 0x0F]);
    }
    return encoded;
}

}  // namespace lumenary::platform
