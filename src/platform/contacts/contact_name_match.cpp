#include "platform/contacts/contact_name_match.hpp"

#include <algorithm>

#include "platform/text/text_words.hpp"

namespace lumenary::platform {

namespace {

void addWords(std::vector<std::string>& words, std::string_view text) {
    std::vector<std::string> more = lowercasedWords(text);
    words.insert(words.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

std::vector<std::string> searchedWords(const StoreContact& contact) {
    std::vector<std::string> words;
    if (contact.name) {
        addWords(words, contact.name->familyName);
        addWords(words, contact.name->givenName);
        for (const std::string& other : contact.name->otherNames) {
            addWords(words, other);
        }
    }
    addWords(words, contact.formattedName);
    for (const std::string& nickname : contact.nicknames) {
        addWords(words, nickname);
    }
    return words;
}

std::string wordsRunTogether(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += word;
    }
    return text;
}

bool matchesWholeName(const std::string& joinedQuery, const ContactName& name) {
    const std::string family = wordsRunTogether(lowercasedWords(name.familyName));
    const std::string given = wordsRunTogether(lowercasedWords(name.givenName));
    return !family.empty() && !given.empty() && (joinedQuery == family + given || joinedQuery == given + family);
}

}  // namespace

ContactNameMatch::ContactNameMatch(std::string_view name)
    : words_(lowercasedWords(name)), joinedWords_(wordsRunTogether(words_)) {}

bool ContactNameMatch::matches(const StoreContact& contact) const {
    if (words_.empty()) {
        return false;
    }
    if (contact.name && matchesWholeName(joinedWords_, *contact.name)) {
        return true;
    }
    const std::vector<std::string> searched = searchedWords(contact);
    return std::all_of(words_.begin(), words_.end(), [&searched](const std::string& word) {
        return std::any_of(searched.begin(), searched.end(),
                           [&word](const std::string& candidate) { return candidate.starts_with(word); });
    });
}

}  // namespace lumenary::platform
