#include "system/utf8.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lumenary::system {

bool isValidUTF8(std::string_view bytes) {
    std::size_t index = 0;
    while (index < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[index]);
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        if (lead < 0x80) {
            // Text is mostly ASCII: eight such bytes are passed at a time.
            ++index;
            std::uint64_t word = 0;
            while (index + sizeof word <= bytes.size()) {
                std::memcpy(&word, bytes.data() + index, sizeof word);
                if ((word & 0x8080808080808080u) != 0) break;
                index += sizeof word;
            }
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (index + length > bytes.size()) {
            return false;
        }
        for (std::size_t offset = 1; offset < length; ++offset) {
            const auto continuation = static_cast<unsigned char>(bytes[index + offset]);
            if ((continuation & 0xC0) != 0x80) {
                return false;
            }
            codePoint = codePoint << 6 | (continuation & 0x3F);
        }
        const bool overlong = (length == 2 && codePoint < 0x80) || (length == 3 && codePoint < 0x800) ||
                              (length == 4 && codePoint < 0x10000);
        if (overlong || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        index += length;
    }
    return true;
}

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

bool isContinuation(unsigned char byte) { return byte >= 0x80 && byte <= 0xBF; }

// How many bytes of `bytes` from `start` form a well-formed sequence, or, for
// an ill-formed one, how long its maximal subpart is (at least one byte), as
// a negative number. The second byte's range is what rules out overlong
// forms, surrogates and code points past U+10FFFF, so a sequence is cut at
// the first byte that could not continue any well-formed one.
std::ptrdiff_t sequenceAt(std::string_view bytes, std::size_t start) {
    const auto lead = static_cast<unsigned char>(bytes[start]);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char secondLowest = 0x80;
    unsigned char secondHighest = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) secondLowest = 0xA0;
        if (lead == 0xED) secondHighest = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) secondLowest = 0x90;
        if (lead == 0xF4) secondHighest = 0x8F;
    } else {
        return -1;
    }
    for (std::size_t offset = 1; offset < length; ++offset) {
        if (start + offset >= bytes.size()) {
            return -static_cast<std::ptrdiff_t>(offset);
        }
        const auto byte = static_cast<unsigned char>(bytes[start + offset]);
        const bool fits = offset == 1 ? byte >= secondLowest && byte <= secondHighest : isContinuation(byte);
        if (!fits) {
            return -static_cast<std::ptrdiff_t>(offset);
        }
    }
    return static_cast<std::ptrdiff_t>(length);
}

}  // namespace

std::string repairUTF8(std::string_view bytes) {
    if (isValidUTF8(bytes)) {
        return std::string(bytes);
    }
    std::string repaired;
    repaired.reserve(bytes.size() + bytes.size() / 2);
    std::size_t runStart = 0;
    std::size_t index = 0;
    while (index < bytes.size()) {
        const auto length = sequenceAt(bytes, index);
        if (length > 0) {
            index += static_cast<std::size_t>(length);
            continue;
        }
        repaired.append(bytes.substr(runStart, index - runStart));
        repaired.append(replacementCharacter);
        index += static_cast<std::size_t>(-length);
        runStart = index;
    }
    repaired.append(bytes.substr(runStart));
    return repaired;
}

}  // namespace lumenary::system
