#include "platform/text/unicode_text.hpp"

#include <algorithm>
#include <stdexcept>

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/stringpiece.h>
#include <unicode/utypes.h>

#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

bool isASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char character) { return static_cast<unsigned char>(character) < 0x80; });
}

}  // namespace

std::string lowercased(std::string_view text) {
    // Titles and search words are mostly ASCII, where the rules come down to
    // A to Z; ICU is for the rest.
    if (isASCII(text)) {
        std::string lower(text);
        for (char& character : lower) {
            if (character >= 'A' && character <= 'Z') {
                character = static_cast<char>(character - 'A' + 'a');
            }
        }
        return lower;
    }
    const std::string repaired = system::repairUTF8(text);
    std::string lower;
    icu::StringByteSink<std::string> sink(&lower, static_cast<int32_t>(repaired.size()));
    UErrorCode status = U_ZERO_ERROR;
    // The root locale (""), not the process's: the Turkish and Lithuanian
    // rules never apply just because LANG says so.
    icu::CaseMap::utf8ToLower("", 0, icu::StringPiece(repaired.data(), static_cast<int32_t>(repaired.size())), sink,
                              nullptr, status);
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("Cannot lower-case text: ") + u_errorName(status));
    }
    return lower;
}

bool containsIgnoringCase(std::string_view text, std::string_view needle) {
    // Both forms are well-formed UTF-8, so a byte match starts and ends on
    // character boundaries.
    return lowercased(text).find(lowercased(needle)) != std::string::npos;
}

bool equalsIgnoringCase(std::string_view left, std::string_view right) { return lowercased(left) == lowercased(right); }

}  // namespace lumenary::platform
