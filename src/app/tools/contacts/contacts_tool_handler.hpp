#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "app/tools/contacts/contacts_manager.hpp"
#include "app/tools/tool_category.hpp"

namespace lumenary::app {

// The contacts category: get_all_contacts answers the address book as a
// pretty-printed JSON object from display name to phone numbers,
// find_phone_number one person's numbers joined by ", ". Every call first
// needs access to the contacts ("ContactsManager" 1 otherwise, whatever the
// name).
class ContactsToolHandler final : public ToolCategory {
public:
    // find_phone_number refuses a longer name ("ContactsTool" 400): no
    // personal name on record reaches it, even with every given name spelt
    // out, and a sentence that names someone is far shorter. A longer text
    // could only make the lookup spend its time comparing.
    static constexpr std::size_t maximumNameCharacters = 1000;

    explicit ContactsToolHandler(std::shared_ptr<ContactsManager> manager);

    std::vector<MCPTool> tools() const override;
    asio::awaitable<ToolOutcome<std::string>> handle(std::string name, PlainDictionary arguments) override;

private:
    asio::awaitable<ToolOutcome<std::string>> getAllContacts(const PlainDictionary& arguments);
    asio::awaitable<ToolOutcome<std::string>> findPhoneNumber(const PlainDictionary& arguments);

    std::shared_ptr<ContactsManager> manager_;
};

}  // namespace lumenary::app
