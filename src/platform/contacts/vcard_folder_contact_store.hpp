#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/contacts/contact_store.hpp"
#include "platform/defaults/defaults_store.hpp"

namespace lumenary::platform {

// No address-book file comes near this, photos included; a larger file is
// passed over rather than read into memory.
inline constexpr std::uintmax_t maximumVCardFileBytes = 64 * 1024 * 1024;

// The user's contacts as vCard files in a folder: every `.vcf` file in it
// and in its sub-folders (one per address book, the layout contact programs
// and synchronisers share), in path order, each file's cards in their own
// order. Hidden files and folders (a synchroniser's temporary files) are
// passed over. Read afresh on every call; safe from several threads.
class VCardFolderContactStore final : public ContactStore {
public:
    // Whether this process may read and enter a folder. Permission bits are
    // the only refusal on Linux, and they refuse nothing to root, so tests
    // put their own check here.
    using FolderAccessCheck = std::function<bool(const std::filesystem::path& folder)>;
    // Takes one line about a folder or file that was passed over.
    using Report = std::function<void(const std::string& line)>;

    explicit VCardFolderContactStore(std::filesystem::path folder);
    VCardFolderContactStore(std::filesystem::path folder, FolderAccessCheck accessCheck, Report report);

    // A readable folder, or none at all (an empty address book): granted.
    // Anything else (a file in its place, no permission): denied.
    ContactStoreAccess access() const override;
    std::string locationDescription() const override;
    // An absent folder holds no contacts, said once in a report line; a
    // file or sub-folder that cannot be read is passed over with a line.
    std::optional<PlatformError> enumerateContacts(const ContactVisitor& visit) override;

    static bool processMayRead(const std::filesystem::path& folder);

private:
    std::vector<std::filesystem::path> contactFiles() const;

    std::filesystem::path folder_;
    FolderAccessCheck accessCheck_;
    Report report_;
    std::atomic<bool> reportedAbsence_ = false;
};

// The store over the folder the user chose: $LUMENARY_CONTACTS_DIR, else the
// defaults key "contactsDirectory", else $XDG_DATA_HOME/contacts
// (~/.local/share/contacts), read once, here.
std::shared_ptr<ContactStore> makeVCardFolderContactStore(const DefaultsStore& defaults);

}  // namespace lumenary::platform
