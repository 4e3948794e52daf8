#include "app/tools/contacts/contact_table.hpp"

#include <algorithm>

#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::app {

void ContactTable::add(const std::string& displayName, const std::vector<std::string>& phoneNumbers) {
    const auto [found, isNew] = indexByName_.try_emplace(displayName, entries_.size());
    if (isNew) {
        entries_.push_back({.displayName = displayName, .phoneNumbers = {}});
    }
    std::vector<std::string>& numbers = entries_[found->second].phoneNumbers;
    for (const std::string& number : phoneNumbers) {
        if (std::find(numbers.begin(), numbers.end(), number) == numbers.end()) {
            numbers.push_back(number);
        }
    }
}

std::string ContactTable::json() const {
    mcp::Value::Object object;
    for (const Entry& entry : entries_) {
        mcp::Value::Array numbers(entry.phoneNumbers.begin(), entry.phoneNumbers.end());
        object.emplace(entry.displayName, std::move(numbers));
    }
    try {
        return mcp::writeJSON(mcp::Value(std::move(object)),
                              mcp::JSONWriteOptions{.escapeSlashes = true, .prettyPrinted = true});
    } catch (const mcp::EncodingError&) {
        return "{}";
    }
}

}  // namespace lumenary::app
