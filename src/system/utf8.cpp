#include "system/utf8.hpp"

#include <cstddef>

namespace lumenary::system {

namespace {

struct Sequence {
    std::size_t length;  // bytes taken: the whole sequence, or its ill-formed maximal subpart
    bool wellFormed;
};

// One step over the table of well-formed byte sequences: the lead byte fixes
// the length and the range of the second byte (which rules out overlong
// forms, surrogates and values past U+10FFFF); later bytes are 80..BF.
Sequence sequenceAt(std::string_view bytes, std::size_t index) {
    const auto lead = static_cast<unsigned char>(bytes[index]);
    if (lead < 0x80) {
        return {1, true};
    }
    std::size_t length = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) secondLow = 0xA0;
        if (lead == 0xED) secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) secondLow = 0x90;
        if (lead == 0xF4) secondHigh = 0x8F;
    } else {
        return {1, false};
    }
    for (std::size_t offset = 1; offset < length; ++offset) {
        if (index + offset >= bytes.size()) {
            return {offset, false};
        }
        const auto byte = static_cast<unsigned char>(bytes[index + offset]);
        const unsigned char low = offset == 1 ? secondLow : 0x80;
        const unsigned char high = offset == 1 ? secondHigh : 0xBF;
        if (byte < low || byte > high) {
            return {offset, false};
        }
    }
    return {length, true};
}

}  // namespace

bool isValidUTF8(std::string_view bytes) {
    for (std::size_t index = 0; index < bytes.size();) {
        const Sequence sequence = sequenceAt(bytes, index);
        if (!sequence.wellFormed) {
            return false;
        }
        index += sequence.length;
    }
    return true;
}

std::string repairedUTF8(std::string_view bytes) {
    if (isValidUTF8(bytes)) {
        return std::string(bytes);
    }
    std::string repaired;
    repaired.reserve(bytes.size() + 8);
    for (std::size_t index = 0; index < bytes.size();) {
        const Sequence sequence = sequenceAt(bytes, index);
        if (sequence.wellFormed) {
            repaired.append(bytes.substr(index, sequence.length));
        } else {
            repaired.append("\xEF\xBF\xBD");
        }
        index += sequence.length;
    }
    return repaired;
}

}  // namespace lumenary::system
