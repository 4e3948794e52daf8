#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/contacts/contact_store.hpp"

namespace lumenary::platform {

// The store's search by name: a contact matches when every word of the name
// begins a word of its structured name, its formatted name or one of its
// nicknames, letter case aside. "ann le" finds Anne Lee; a name without any
// word (blank, or punctuation only) finds no one. The whole structured name
// also matches in either order, with or without a space: "김민준", "민준 김"
// and "김 민준" all find 김민준, whose script writes no space between words.
class ContactNameMatch {
public:
    explicit ContactNameMatch(std::string_view name);

    bool matches(const StoreContact& contact) const;

private:
    std::vector<std::string> words_;
    // The words run together.
    std::string joinedWords_;
};

}  // namespace lumenary::platform
