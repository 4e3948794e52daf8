#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/contacts/contact_store.hpp"

namespace lumenary::platform {

// The store's search by name: a contact matches when every word of the name
// begins a word of its structured name, its formatted name or one of its
// nicknames, letter case aside. "ann le" finds Anne Lee; a name without any
// word (blank, or punctuation only) finds no one. The whole structured name
// also matches in either order, with or without a space: "김민준", "민준 김"
// and "김 민준" all find 김민준, whose script writes no space between words.
// A match costs time linear in the contact's names, however long they and
// the searched name are.
class ContactNameMatch {
public:
    explicit ContactNameMatch(std::string_view name);

    bool matches(const StoreContact& contact) const;

private:
    // The distinct words of the name, spelled out byte by byte in a tree, so
    // one walk along a contact's word finds every searched word it begins
    // with.
    struct Branch {
        std::vector<std::pair<unsigned char, std::uint32_t>> next;
        // The index of the searched word that ends here, or -1.
        std::int32_t word = -1;
    };
    std::uint32_t step(std::uint32_t branch, unsigned char byte) const;
    void markWordsBegun(std::string_view word, std::vector<bool>& found, std::size_t& remaining) const;

    std::vector<Branch> branches_;
    std::size_t wordCount_ = 0;
    // The words run together.
    std::string joinedWords_;
};

}  // namespace lumenary::platform
