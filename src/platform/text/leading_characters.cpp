#include "platform/text/leading_characters.hpp"

#include <memory>
#include <stdexcept>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

struct LeadingTextCloser {
    void operator()(UText* text) const { utext_close(text); }
};

}  // namespace

std::optional<std::string> leadingCharactersOfLonger(std::string_view text, std::size_t count) {
    // Every character takes at least one byte.
    if (text.size() <= count) {
        return std::nullopt;
    }
    const std::string repaired = system::repairUTF8(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, LeadingTextCloser> utf8(
        utext_openUTF8(nullptr, repaired.data(), static_cast<int64_t>(repaired.size()), &status));
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("Cannot find character boundaries: ") + u_errorName(status));
    }
    characters->setText(utf8.get(), status);
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("Cannot find character boundaries: ") + u_errorName(status));
    }
    // Over UTF-8 text the boundaries are byte offsets.
    int32_t boundary = characters->first();
    for (std::size_t seen = 0; seen < count; ++seen) {
        boundary = characters->next();
        if (boundary == icu::BreakIterator::DONE) {
            return std::nullopt;
        }
    }
    if (characters->next() == icu::BreakIterator::DONE) {
        return std::nullopt;
    }
    return repaired.substr(0, static_cast<std::size_t>(boundary));
}

}  // namespace lumenary::platform
