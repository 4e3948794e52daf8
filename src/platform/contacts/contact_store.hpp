#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"

namespace lumenary::platform {

// The structured name of a contact (a vCard's N).
struct ContactName {
    std::string familyName;
    std::string givenName;
    // Middle names, honorific prefixes and suffixes: found by a name search,
    // never shown.
    std::vector<std::string> otherNames;

    friend bool operator==(const ContactName&, const ContactName&) = default;
};

// One contact as the store holds it; every text is UTF-8.
struct StoreContact {
    // Absent when the contact has no structured name at all.
    std::optional<ContactName> name;
    // The name as the contact's owner wrote it out (a vCard's FN).
    std::string formattedName;
    std::vector<std::string> nicknames;
    // In the contact's own order, exactly as stored.
    std::vector<std::string> phoneNumbers;

    friend bool operator==(const StoreContact&, const StoreContact&) = default;
};

enum class ContactStoreAccess { granted, denied };

// The user's address book, read only. Every member may block on files, so
// callers run them on the worker pool; an implementation is safe to call
// from several threads at once. Nothing is cached between calls.
class ContactStore {
public:
    // Takes each contact in turn; answers false to stop the enumeration.
    using ContactVisitor = std::function<bool(const StoreContact& contact)>;

    virtual ~ContactStore() = default;

    virtual ContactStoreAccess access() const = 0;
    // Where the store keeps its contacts (a folder path), for messages that
    // tell the user what to fix.
    virtual std::string locationDescription() const = 0;

    // Hands every contact to `visit` in the store's enumeration order, which
    // is the same on every call while the store is unchanged, until `visit`
    // answers false; the contacts after that are not read. Answers the error
    // that ended the enumeration early, if one did.
    virtual std::optional<PlatformError> enumerateContacts(const ContactVisitor& visit) = 0;
};

}  // namespace lumenary::platform
