#include "app/tools/contacts/contacts_manager.hpp"

#include "async/worker_pool.hpp"
#include "platform/contacts/contact_name_match.hpp"
#include "platform/contacts/contact_name_order.hpp"
#include "platform/text/contiguous_search.hpp"
#include "platform/text/text_words.hpp"
#include "platform/text/unicode_text.hpp"

namespace lumenary::app {

namespace {

using platform::ContactStore;
using platform::PlatformError;
using platform::PlatformOutcome;
using platform::StoreContact;

// The structured name as its script writes it (platform::writtenName); a
// contact with no structured name at all is known by its formatted name.
std::string displayName(const StoreContact& contact) {
    if (!contact.name) {
        return contact.formattedName;
    }
    return platform::writtenName(*contact.name);
}

// Takes the first `limit` contacts that have a display name and a phone
// number into a table.
class TableCollector {
public:
    explicit TableCollector(std::int64_t limit) : limit_(limit) {}

    // False once the table is full: this contact, and any after it, stay out.
    bool take(const StoreContact& contact) {
        if (taken_ >= limit_) {
            return false;
        }
        const std::string name = displayName(contact);
        if (!name.empty() && !contact.phoneNumbers.empty()) {
            table_.add(name, contact.phoneNumbers);
            ++taken_;
        }
        return true;
    }

    ContactTable& table() noexcept { return table_; }

private:
    std::int64_t limit_;
    std::int64_t taken_ = 0;
    ContactTable table_;
};

PlatformOutcome<ContactTable> contactTable(ContactStore& store, std::int64_t limit) {
    TableCollector collector(limit);
    if (auto failure = store.enumerateContacts([&collector](const StoreContact& contact) { return collector.take(contact); })) {
        return *failure;
    }
    return std::move(collector.table());
}

// The lookup's second chance, over the table: an exact pass, then a partial
// one, each in the table's order.
std::vector<std::string> numbersForDisplayName(const ContactTable& table, const std::string& name) {
    const std::string lowerName = platform::lowercased(name);
    const std::string query(platform::trimmedWhiteSpace(lowerName));
    if (query.empty()) {
        return {};
    }
    std::vector<std::string> lowerDisplayNames;
    lowerDisplayNames.reserve(table.entries().size());
    for (const auto& entry : table.entries()) {
        lowerDisplayNames.push_back(platform::lowercased(entry.displayName));
    }
    for (std::size_t index = 0; index < lowerDisplayNames.size(); ++index) {
        if (lowerDisplayNames[index] == query) {
            return table.entries()[index].phoneNumbers;
        }
    }
    // A short name inside a longer query counts only as whole words: "Li"
    // must not answer for "Alice".
    const std::vector<std::string> queryWords = platform::lowercasedWords(query);
    for (std::size_t index = 0; index < lowerDisplayNames.size(); ++index) {
        if (platform::containsContiguous<char>(lowerDisplayNames[index], query) ||
            platform::containsWordSequence(queryWords, platform::lowercasedWords(lowerDisplayNames[index]))) {
            return table.entries()[index].phoneNumbers;
        }
    }
    return {};
}

// The name search and the table for its fallback come from one reading of
// the store, so a lookup reads every file once.
PlatformOutcome<std::vector<std::string>> phoneNumbersFor(ContactStore& store, const std::string& name) {
    const platform::ContactNameMatch match(name);
    std::vector<std::string> found;
    TableCollector fallback(ContactsManager::lookupLimit);
    auto failure = store.enumerateContacts([&](const StoreContact& contact) {
        if (match.matches(contact)) {
            found.insert(found.end(), contact.phoneNumbers.begin(), contact.phoneNumbers.end());
        }
        fallback.take(contact);
        return true;
    });
    if (failure) {
        return *failure;
    }
    if (!found.empty()) {
        return found;
    }
    return numbersForDisplayName(fallback.table(), name);
}

std::optional<PlatformError> accessRefusal(const ContactStore& store) {
    if (store.access() == platform::ContactStoreAccess::granted) {
        return std::nullopt;
    }
    return PlatformError{"ContactsManager", 1,
                         "Access denied or restricted. Lumenary needs to read the contacts folder " +
                             store.locationDescription() +
                             ": make it a folder this user can read, or set LUMENARY_CONTACTS_DIR or the defaults key "
                             "contactsDirectory to one that is."};
}

}  // namespace

ContactsManager::ContactsManager(std::shared_ptr<ContactStore> store) : store_(std::move(store)) {}

asio::awaitable<std::optional<PlatformError>> ContactsManager::requestAccess() {
    auto work = [store = store_] { return accessRefusal(*store); };
    co_return co_await async::runBlocking(std::move(work));
}

asio::awaitable<PlatformOutcome<ContactTable>> ContactsManager::getAllContacts(std::int64_t limit) {
    auto work = [store = store_, limit] { return contactTable(*store, limit); };
    co_return co_await async::runBlocking(std::move(work));
}

asio::awaitable<PlatformOutcome<std::vector<std::string>>> ContactsManager::findPhoneNumbers(std::string name) {
    auto work = [store = store_, name = std::move(name)] { return phoneNumbersFor(*store, name); };
    co_return co_await async::runBlocking(std::move(work));
}

}  // namespace lumenary::app
