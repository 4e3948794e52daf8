#pragma once

#include <string>
#include <unordered_map>
#include <vector>

namespace lumenary::app {

// The contacts that have a display name and a phone number, under their
// display names, in the order the store first gave each name.
class ContactTable {
public:
    struct Entry {
        std::string displayName;
        // The numbers of every contact of this name, in the order the store
        // gave them, each once.
        std::vector<std::string> phoneNumbers;
    };

    // Adds the numbers of one contact. A name already in the table takes
    // the numbers it does not hold yet: two people who share a name both
    // keep their numbers.
    void add(const std::string& displayName, const std::vector<std::string>& phoneNumbers);

    const std::vector<Entry>& entries() const noexcept { return entries_; }

    // {"display name": ["number", ...], ...}, pretty-printed with every "/"
    // escaped; "{}" should a text not be UTF-8.
    std::string json() const;

private:
    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t> indexByName_;
};

}  // namespace lumenary::app
