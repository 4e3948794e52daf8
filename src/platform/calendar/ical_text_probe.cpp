#include "platform/calendar/ical_text_probe.hpp"

#include <cstddef>
#include <string>

namespace lumenary::platform {

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool containsWordIgnoringCase(std::string_view text, std::string_view word) {
    if (word.empty()) {
        return true;
    }
    for (std::size_t start = 0; start + word.size() <= text.size(); ++start) {
        if (upper(text[start]) != word[0]) {
            continue;
        }
        std::size_t matched = 1;
        while (matched < word.size() && upper(text[start + matched]) == word[matched]) {
            ++matched;
        }
        if (matched == word.size()) {
            return true;
        }
    }
    return false;
}

bool hasFoldedLines(std::string_view text) {
    return text.find("\n ") != std::string_view::npos || text.find("\n\t") != std::string_view::npos;
}

// RFC 5545 folds a line by a line break and one space or tab.
std::string unfolded(std::string_view text) {
    std::string joined;
    joined.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        const bool crlfFold = text[index] == '\r' && index + 2 < text.size() && text[index + 1] == '\n' &&
                              (text[index + 2] == ' ' || text[index + 2] == '\t');
        const bool lfFold = text[index] == '\n' && index + 1 < text.size() && (text[index + 1] == ' ' || text[index + 1] == '\t');
        if (crlfFold) {
            index += 2;
        } else if (lfFold) {
            index += 1;
        } else {
            joined.push_back(text[index]);
        }
    }
    return joined;
}

}  // namespace

bool icalTextMayMention(std::string_view text, std::string_view word) {
    if (containsWordIgnoringCase(text, word)) {
        return true;
    }
    return hasFoldedLines(text) && containsWordIgnoringCase(unfolded(text), word);
}

}  // namespace lumenary::platform
