#include "mcp/core/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace lumenary::mcp {

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// The length of the ASCII run at the front of `bytes`, eight bytes at a time:
// most protocol text is ASCII and should not pay for a decoder.
std::size_t asciiPrefixLength(std::string_view bytes) {
    std::size_t index = 0;
    while (index + 8 <= bytes.size()) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + index, sizeof(word));
        if ((word & 0x8080808080808080ULL) != 0) {
            break;
        }
        index += 8;
    }
    while (index < bytes.size() && static_cast<unsigned char>(bytes[index]) < 0x80) {
        ++index;
    }
    return index;
}

// The length of the well-formed sequence that starts at `bytes[index]`
// (a lead byte of 0x80 or more), or, when it is ill-formed, the negated
// length of its maximal subpart (at least one byte).
std::ptrdiff_t sequenceAt(std::string_view bytes, std::size_t index) {
    const auto lead = static_cast<unsigned char>(bytes[index]);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;        // overlong
        if (lead == 0xED) high = 0x9F;       // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;        // overlong
        if (lead == 0xF4) high = 0x8F;       // past U+10FFFF
    } else {
        return -1;
    }
    for (std::size_t offset = 1; offset < length; ++offset) {
        if (index + offset >= bytes.size()) {
            return -static_cast<std::ptrdiff_t>(offset);
        }
        const auto continuation = static_cast<unsigned char>(bytes[index + offset]);
        const unsigned char minimum = offset == 1 ? low : 0x80;
        const unsigned char maximum = offset == 1 ? high : 0xBF;
        if (continuation < minimum || continuation > maximum) {
            return -static_cast<std::ptrdiff_t>(offset);
        }
    }
    return static_cast<std::ptrdiff_t>(length);
}

}  // namespace

bool isValidUTF8(std::string_view bytes) {
    std::size_t index = 0;
    while (index < bytes.size()) {
        index += asciiPrefixLength(bytes.substr(index));
        if (index == bytes.size()) {
            break;
        }
        const auto length = sequenceAt(bytes, index);
        if (length < 0) {
            return false;
        }
        index += static_cast<std::size_t>(length);
    }
    return true;
}

void appendRepairedUTF8(std::string& text, std::string_view bytes) {
    std::size_t index = 0;
    while (index < bytes.size()) {
        const std::size_t start = index;
        index += asciiPrefixLength(bytes.substr(index));
        while (index < bytes.size()) {
            const auto length = sequenceAt(bytes, index);
            if (length < 0) {
                break;
            }
            index += static_cast<std::size_t>(length);
            index += asciiPrefixLength(bytes.substr(index));
        }
        text.append(bytes.data() + start, index - start);
        if (index < bytes.size()) {
            text.append(replacementCharacter);
            index += static_cast<std::size_t>(-sequenceAt(bytes, index));
        }
    }
}

std::string repairedUTF8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    appendRepairedUTF8(text, bytes);
    return text;
}

}  // namespace lumenary::mcp
