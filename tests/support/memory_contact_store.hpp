#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/contacts/contact_store.hpp"

namespace lumenary::testing {

// An address book in memory, in the order contacts were added. A test sets
// its access, makes its enumeration fail, and sees how many contacts each
// enumeration handed out.
class MemoryContactStore final : public platform::ContactStore {
public:
    platform::ContactStoreAccess access() const override {
        std::lock_guard lock(mutex_);
        return access_;
    }
    std::string locationDescription() const override { return "/memory/contacts"; }

    std::optional<platform::PlatformError> enumerateContacts(const ContactVisitor& visit) override {
        std::vector<platform::StoreContact> contacts;
        {
            std::lock_guard lock(mutex_);
            if (failure_) {
                return failure_;
            }
            contacts = contacts_;
        }
        std::size_t handedOut = 0;
        for (const auto& contact : contacts) {
            ++handedOut;
            if (!visit(contact)) {
                break;
            }
        }
        std::lock_guard lock(mutex_);
        lastHandedOut_ = handedOut;
        return std::nullopt;
    }

    void add(platform::StoreContact contact) {
        std::lock_guard lock(mutex_);
        contacts_.push_back(std::move(contact));
    }
    void setAccess(platform::ContactStoreAccess access) {
        std::lock_guard lock(mutex_);
        access_ = access;
    }
    void failEnumeration(platform::PlatformError error) {
        std::lock_guard lock(mutex_);
        failure_ = std::move(error);
    }
    // How many contacts the last enumeration handed to its visitor.
    std::size_t lastHandedOut() const {
        std::lock_guard lock(mutex_);
        return lastHandedOut_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<platform::StoreContact> contacts_;
    platform::ContactStoreAccess access_ = platform::ContactStoreAccess::granted;
    std::optional<platform::PlatformError> failure_;
    std::size_t lastHandedOut_ = 0;
};

// A contact with a structured name (given, family) and these numbers.
inline platform::StoreContact namedContact(std::string given, std::string family, std::vector<std::string> numbers) {
    return {.name = platform::ContactName{.familyName = std::move(family), .givenName = std::move(given), .otherNames = {}},
            .formattedName = "",
            .nicknames = {},
            .phoneNumbers = std::move(numbers)};
}

}  // namespace lumenary::testing
