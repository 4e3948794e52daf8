#include "mcp/core/base64.hpp"

#include <array>
#include <cstdint>

namespace lumenary::mcp {

namespace {

constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t invalid = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDecodingTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(invalid);
    for (std::size_t index = 0; index < alphabet.size(); ++index) {
        table[static_cast<unsigned char>(alphabet[index])] = static_cast<std::uint8_t>(index);
    }
    return table;
}

constexpr auto decodingTable = makeDecodingTable();

}  // namespace

std::string base64Encode(std::string_view bytes) {
    std::string text;
    text.resize((bytes.size() + 2) / 3 * 4);
    auto* out = text.data();
    std::size_t index = 0;
    for (; index + 3 <= bytes.size(); index += 3) {
        const std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[index])) << 16 |
                                    static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[index + 1])) << 8 |
                                    static_cast<unsigned char>(bytes[index + 2]);
        *out++ = alphabet[group >> 18 & 0x3F];
        *out++ = alphabet[group >> 12 & 0x3F];
        *out++ = alphabet[group >> 6 & 0x3F];
        *out++ = alphabet[group & 0x3F];
    }
    const std::size_t rest = bytes.size() - index;
    if (rest > 0) {
        std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[index])) << 16;
        if (rest == 2) {
            group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[index + 1])) << 8;
        }
        *out++ = alphabet[group >> 18 & 0x3F];
        *out++ = alphabet[group >> 12 & 0x3F];
        *out++ = rest == 2 ? alphabet[group >> 6 & 0x3F] : '=';
        *out++ = '=';
    }
    return text;
}

std::optional<std::string> base64Decode(std::string_view text) {
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
        ++padding;
    }
    const std::string_view digits = text.substr(0, text.size() - padding);
    // With padding the whole text must come in groups of four; without it a
    // lone digit can never finish a byte.
    if ((padding > 0 && text.size() % 4 != 0) || digits.size() % 4 == 1) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(digits.size() / 4 * 3 + 2);
    std::uint32_t group = 0;
    int bits = 0;
    for (char digit : digits) {
        const std::uint8_t sextet = decodingTable[static_cast<unsigned char>(digit)];
        if (sextet == invalid) {
            return std::nullopt;
        }
        group = group << 6 | sextet;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>(group >> bits & 0xFF));
        }
    }
    return bytes;
}

}  // namespace lumenary::mcp
