#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <thread>

#include "platform/contacts/vcard_folder_contact_store.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {
namespace {

namespace fs = std::filesystem;

class VCardFolderContactStoreTest : public ::testing::Test {
protected:
    void write(const fs::path& relative, const std::vector<std::string>& formattedNames) {
        fs::create_directories((root.path() / relative).parent_path());
        std::ofstream file(root.path() / relative, std::ios::binary);
        for (const auto& name : formattedNames) {
            file << "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" << name << "\r\nTEL:1\r\nEND:VCARD\r\n";
        }
    }
    VCardFolderContactStore storeAt(const fs::path& folder, bool readable = true) {
        return VCardFolderContactStore(
            folder, [readable](const fs::path&) { return readable; },
            [this](const std::string& line) { reports.push_back(line); });
    }
    // Formatted names in enumeration order, up to `stopAfter`.
    std::vector<std::string> names(VCardFolderContactStore& store, std::size_t stopAfter = 1000) {
        std::vector<std::string> seen;
        const auto failure = store.enumerateContacts([&](const StoreContact& contact) {
            seen.push_back(contact.formattedName);
            return seen.size() < stopAfter;
        });
        EXPECT_FALSE(failure) << failure->description;
        return seen;
    }

    lumenary::testing::TemporaryDirectory root;
    std::vector<std::string> reports;
};

TEST_F(VCardFolderContactStoreTest, EnumeratesEveryVCardFileInPathOrder) {
    write("b.vcf", {"B1", "B2"});
    write("a/z.vcf", {"AZ"});
    write("a/deeper/c.vcf", {"ADC"});
    write("c.vcf", {"C"});
    write("notes.txt", {"TXT"});
    write(".hidden.vcf", {"HIDDEN"});
    write(".trash/x.vcf", {"TRASH"});
    fs::create_directory_symlink(root.path(), root.path() / "a" / "loop");
    auto store = storeAt(root.path());
    EXPECT_EQ(names(store), (std::vector<std::string>{"ADC", "AZ", "B1", "B2", "C"}));
    EXPECT_TRUE(reports.empty());
}

TEST_F(VCardFolderContactStoreTest, StopsReadingWhenTheVisitorSaysSo) {
    write("a.vcf", {"A1", "A2"});
    fs::create_symlink(root.path() / "missing", root.path() / "b.vcf");
    auto store = storeAt(root.path());
    EXPECT_EQ(names(store, 2), (std::vector<std::string>{"A1", "A2"}));
    EXPECT_TRUE(reports.empty()) << "b.vcf was read";
}

TEST_F(VCardFolderContactStoreTest, AFileThatCannotBeReadIsPassedOverWithALine) {
    fs::create_symlink(root.path() / "missing", root.path() / "a.vcf");
    write("b.vcf", {"B"});
    auto store = storeAt(root.path());
    EXPECT_EQ(names(store), std::vector<std::string>{"B"});
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find((root.path() / "a.vcf").string()), std::string::npos) << reports[0];
}

TEST_F(VCardFolderContactStoreTest, ANamedPipeNamedLikeACardIsPassedOverWithoutWaitingForAWriter) {
    const auto pipe = root.path() / "a.vcf";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    write("b.vcf", {"B"});
    auto store = storeAt(root.path());
    std::promise<std::vector<std::string>> seen;
    auto seenLater = seen.get_future();
    std::thread reader([&] { seen.set_value(names(store)); });
    const bool finished = seenLater.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!finished) {
        // A writer lets the stalled open return, so the reader can be joined.
        ::close(::open(pipe.c_str(), O_WRONLY | O_CLOEXEC));
    }
    reader.join();
    ASSERT_TRUE(finished) << "the enumeration waited for a writer on " << pipe;
    EXPECT_EQ(seenLater.get(), std::vector<std::string>{"B"});
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(pipe.string()), std::string::npos) << reports[0];
}

TEST_F(VCardFolderContactStoreTest, Access) {
    std::ofstream(root.path() / "file") << "x";
    struct Case {
        fs::path folder;
        bool readable;
        ContactStoreAccess access;
    };
    const Case cases[] = {
        {root.path(), true, ContactStoreAccess::granted},
        {root.path() / "absent", true, ContactStoreAccess::granted},
        {root.path(), false, ContactStoreAccess::denied},
        {root.path() / "file", true, ContactStoreAccess::denied},
        {root.path() / "file" / "below", true, ContactStoreAccess::denied},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(storeAt(testCase.folder, testCase.readable).access(), testCase.access) << testCase.folder;
    }
}

TEST_F(VCardFolderContactStoreTest, AnAbsentFolderIsAnEmptyAddressBookSaidOnce) {
    auto store = storeAt(root.path() / "absent");
    EXPECT_TRUE(names(store).empty());
    EXPECT_TRUE(names(store).empty());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find((root.path() / "absent").string()), std::string::npos) << reports[0];
}

TEST_F(VCardFolderContactStoreTest, AnUnreadableFolderFailsTheEnumeration) {
    auto store = storeAt(root.path(), false);
    const auto failure = store.enumerateContacts([](const StoreContact&) { return true; });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->domain, "ContactStore");
    EXPECT_NE(failure->description.find("LUMENARY_CONTACTS_DIR"), std::string::npos) << failure->description;
}

TEST_F(VCardFolderContactStoreTest, TheFolderComesFromTheEnvironmentTheDefaultsOrTheDataHome) {
    const char* saved = std::getenv("LUMENARY_CONTACTS_DIR");
    const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
    const char* savedData = std::getenv("XDG_DATA_HOME");
    const std::optional<std::string> previousData = savedData ? std::optional<std::string>(savedData) : std::nullopt;
    MemoryDefaultsStore defaults;
    ::setenv("XDG_DATA_HOME", "/data", 1);
    ::unsetenv("LUMENARY_CONTACTS_DIR");
    EXPECT_EQ(makeVCardFolderContactStore(defaults)->locationDescription(), "/data/contacts");
    defaults.set("contactsDirectory", mcp::Value("/chosen"));
    EXPECT_EQ(makeVCardFolderContactStore(defaults)->locationDescription(), "/chosen");
    ::setenv("LUMENARY_CONTACTS_DIR", "/from/environment", 1);
    EXPECT_EQ(makeVCardFolderContactStore(defaults)->locationDescription(), "/from/environment");
    previous ? ::setenv("LUMENARY_CONTACTS_DIR", previous->c_str(), 1) : ::unsetenv("LUMENARY_CONTACTS_DIR");
    previousData ? ::setenv("XDG_DATA_HOME", previousData->c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace lumenary::platform
