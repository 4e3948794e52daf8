#include "platform/contacts/vcard_folder_contact_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <system_error>
#include <utility>

#include "logging/logger.hpp"
#include "platform/contacts/vcard_reader.hpp"
#include "platform/defaults/data_location.hpp"
#include "platform/files/bounded_file_reader.hpp"

namespace lumenary::platform {

namespace {

constexpr std::string_view contactsFolderSetting = "set LUMENARY_CONTACTS_DIR or the defaults key contactsDirectory";

void logReport(const std::string& line) {
    logging::Logger("lumenary.contacts").warning(line);
}

bool isHiddenCard(const std::filesystem::path& path) {
    return path.filename().string().starts_with(".");
}

// A folder met twice (a symbolic link back up the tree) is listed once.
struct FolderIdentity {
    dev_t device;
    ino_t inode;
    auto operator<=>(const FolderIdentity&) const = default;
};

}  // namespace

VCardFolderContactStore::VCardFolderContactStore(std::filesystem::path folder)
    : VCardFolderContactStore(std::move(folder), processMayRead, logReport) {}

VCardFolderContactStore::VCardFolderContactStore(std::filesystem::path folder, FolderAccessCheck accessCheck,
                                                 Report report)
    : folder_(std::move(folder)), accessCheck_(std::move(accessCheck)), report_(std::move(report)) {}

bool VCardFolderContactStore::processMayRead(const std::filesystem::path& folder) {
    return ::faccessat(AT_FDCWD, folder.c_str(), R_OK | X_OK, AT_EACCESS) == 0;
}

ContactStoreAccess VCardFolderContactStore::access() const {
    struct stat status {};
    if (::stat(folder_.c_str(), &status) != 0) {
        return errno == ENOENT ? ContactStoreAccess::granted : ContactStoreAccess::denied;
    }
    if (!S_ISDIR(status.st_mode) || !accessCheck_(folder_)) {
        return ContactStoreAccess::denied;
    }
    return ContactStoreAccess::granted;
}

std::string VCardFolderContactStore::locationDescription() const {
    return folder_.string();
}

std::vector<std::filesystem::path> VCardFolderContactStore::contactFiles() const {
    std::vector<std::filesystem::path> files;
    std::set<FolderIdentity> listed;
    std::vector<std::filesystem::path> pending{folder_};
    while (!pending.empty()) {
        const std::filesystem::path folder = std::move(pending.back());
        pending.pop_back();
        struct stat status {};
        if (::stat(folder.c_str(), &status) != 0 || !listed.insert({status.st_dev, status.st_ino}).second) {
            continue;
        }
        std::error_code error;
        std::filesystem::directory_iterator entries(folder, error);
        if (error) {
            report_("Contacts folder " + folder.string() + " passed over: " + error.message());
            continue;
        }
        for (const auto& entry : entries) {
            std::error_code entryError;
            if (isHiddenCard(entry.path())) {
                continue;
            }
            // Both follow a symbolic link, so a linked address book counts.
            if (entry.is_directory(entryError)) {
                pending.push_back(entry.path());
            } else if (entry.path().extension() == ".vcf") {
                files.push_back(entry.path());
            }
        }
    }
    // By the path's text: the same order on every call, and cheaper than
    // comparing component by component.
    std::sort(files.begin(), files.end(),
              [](const std::filesystem::path& left, const std::filesystem::path& right) { return left.native() < right.native(); });
    return files;
}

std::optional<PlatformError> VCardFolderContactStore::enumerateContacts(const ContactVisitor& visit) {
    struct stat status {};
    if (::stat(folder_.c_str(), &status) != 0 && errno == ENOENT) {
        if (!reportedAbsence_.exchange(true)) {
            report_("Contacts folder " + folder_.string() + " does not exist, so the address book is empty; " +
                    std::string(contactsFolderSetting) + " to a folder of vCard files");
        }
        return std::nullopt;
    }
    reportedAbsence_ = false;
    if (access() != ContactStoreAccess::granted) {
        return PlatformError{"ContactStore", 500,
                             "Cannot read the contacts folder " + folder_.string() + "; " +
                                 std::string(contactsFolderSetting) + " to a folder this user can read"};
    }
    for (const std::filesystem::path& path : contactFiles()) {
        // A named pipe or a device named like a card is passed over, never
        // waited on.
        auto bytes = readBoundedFile(path, maximumVCardFileBytes, "ContactStore");
        if (!bytes) {
            // The description names the file.
            report_("Contact file passed over: " + bytes.error().description);
            continue;
        }
        for (const StoreContact& contact : readVCards(bytes.value())) {
            if (!visit(contact)) {
                return std::nullopt;
            }
        }
    }
    return std::nullopt;
}

std::shared_ptr<ContactStore> makeVCardFolderContactStore(const DefaultsStore& defaults) {
    return std::make_shared<VCardFolderContactStore>(
        dataLocation("LUMENARY_CONTACTS_DIR", "contactsDirectory", defaults, "contacts"));
}

}  // namespace lumenary::platform
