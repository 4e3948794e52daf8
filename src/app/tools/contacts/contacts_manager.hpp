#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>

#include "app/tools/contacts/contact_table.hpp"
#include "platform/contacts/contact_store.hpp"

namespace lumenary::app {

// The contacts tools' reading of the address book. It asks the store afresh
// on every call and keeps nothing between calls; store calls run on the
// worker pool, and the store may serve several of them at once.
class ContactsManager {
public:
    // The fallback of a lookup reads this many contacts at most.
    static constexpr std::int64_t lookupLimit = 5000;

    explicit ContactsManager(std::shared_ptr<platform::ContactStore> store);

    // The one store every operation goes through.
    const std::shared_ptr<platform::ContactStore>& contactStore() const noexcept { return store_; }

    // Nothing when the program may read the contacts; otherwise the error
    // ("ContactsManager", 1) saying which folder to make readable, or how to
    // choose another. The panel asks this too.
    asio::awaitable<std::optional<platform::PlatformError>> requestAccess();

    // The first `limit` contacts that have a display name and a phone number
    // (none for a `limit` of 0 or less), in the store's order.
    asio::awaitable<platform::PlatformOutcome<ContactTable>> getAllContacts(std::int64_t limit);

    // The numbers of the contacts the store's name search finds; when that
    // gives none, of the first display name that equals the name (letter
    // case and surrounding white space aside), else of the first that
    // contains it or that stands in it as whole words. A blank name finds
    // nothing.
    asio::awaitable<platform::PlatformOutcome<std::vector<std::string>>> findPhoneNumbers(std::string name);

private:
    std::shared_ptr<platform::ContactStore> store_;
};

}  // namespace lumenary::app
