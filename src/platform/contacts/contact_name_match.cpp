#include "platform/contacts/contact_name_match.hpp"

#include "platform/text/text_words.hpp"

namespace lumenary::platform {

namespace {

constexpr std::uint32_t noBranch = 0;

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

ContactNameMatch::ContactNameMatch(std::string_view name) : branches_(1) {
    const std::vector<std::string> words = lowercasedWords(name);
    joinedWords_ = wordsRunTogether(words);
    for (const std::string& word : words) {
        std::uint32_t branch = 0;
        for (const char byte : word) {
            std::uint32_t next = step(branch, static_cast<unsigned char>(byte));
            if (next == noBranch) {
                next = static_cast<std::uint32_t>(branches_.size());
                branches_[branch].next.emplace_back(static_cast<unsigned char>(byte), next);
                branches_.emplace_back();
            }
            branch = next;
        }
        if (branches_[branch].word < 0) {
            branches_[branch].word = static_cast<std::int32_t>(wordCount_++);
        }
    }
}

// The branch after `branch` for `byte`; the root (never anyone's next)
// when there is none. A branch has at most 256 next ones.
std::uint32_t ContactNameMatch::step(std::uint32_t branch, unsigned char byte) const {
    for (const auto& [label, next] : branches_[branch].next) {
        if (label == byte) {
            return next;
        }
    }
    return noBranch;
}

// Marks every searched word that `word` begins with: one step per byte of
// `word`, and no more steps than the longest searched word has bytes.
void ContactNameMatch::markWordsBegun(std::string_view word, std::vector<bool>& found, std::size_t& remaining) const {
    std::uint32_t branch = 0;
    for (const char byte : word) {
        branch = step(branch, static_cast<unsigned char>(byte));
        if (branch == noBranch) {
            return;
        }
        const std::int32_t ended = branches_[branch].word;
        if (ended >= 0 && !found[static_cast<std::size_t>(ended)]) {
            found[static_cast<std::size_t>(ended)] = true;
            --remaining;
        }
    }
}

bool ContactNameMatch::matches(const StoreContact& contact) const {
    if (wordCount_ == 0) {
        return false;
    }
    if (contact.name && matchesWholeName(joinedWords_, *contact.name)) {
        return true;
    }
    std::vector<bool> found(wordCount_, false);
    std::size_t remaining = wordCount_;
    const auto search = [&](std::string_view text) {
        if (remaining == 0) {
            return;
        }
        for (const std::string& word : lowercasedWords(text)) {
            markWordsBegun(word, found, remaining);
        }
    };
    if (contact.name) {
        search(contact.name->familyName);
        search(contact.name->givenName);
        for (const std::string& other : contact.name->otherNames) {
            search(other);
        }
    }
    search(contact.formattedName);
    for (const std::string& nickname : contact.nicknames) {
        search(nickname);
    }
    return remaining == 0;
}

}  // namespace lumenary::platform
