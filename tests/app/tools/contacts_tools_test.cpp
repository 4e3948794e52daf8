#include <gtest/gtest.h>

#include <fstream>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "app/tools/contacts/contacts_tool_handler.hpp"
#include "app/tools/local_tool_service.hpp"
#include "app/tools/tool_outcome_text.hpp"
#include "mcp/core/json.hpp"
#include "platform/contacts/vcard_folder_contact_store.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/memory_contact_store.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::app {
namespace {

using lumenary::testing::MemoryContactStore;
using lumenary::testing::namedContact;
using platform::StoreContact;

// The contacts category behind a tool service, switched on, over any store.
class ContactsToolsTest : public ::testing::Test {
protected:
    void useStore(std::shared_ptr<platform::ContactStore> contactStore) {
        category = std::make_shared<ContactsToolHandler>(std::make_shared<ContactsManager>(std::move(contactStore)));
        ToolCategories categories;
        categories[static_cast<std::size_t>(ToolCategoryKind::contacts)] = category;
        service = std::make_shared<LocalToolService>(io.get_executor(), defaults, categories);
        service->setContactsEnabled(true);
    }
    void SetUp() override { useStore(store); }

    // The tool's text, or "<domain> <code> <description>" of its error.
    std::string call(std::string name, PlainDictionary arguments = {}) {
        return outcomeText(service->callTool(std::move(name), std::move(arguments)));
    }
    std::string outcomeText(asio::awaitable<ToolOutcome<std::string>> call) {
        return app::testing::toolOutcomeText(io, std::move(call));
    }
    mcp::Value allContacts(PlainDictionary arguments = {}) {
        return mcp::parseJSON(call("get_all_contacts", std::move(arguments)));
    }

    asio::io_context io;
    platform::MemoryDefaultsStore defaults;
    std::shared_ptr<MemoryContactStore> store = std::make_shared<MemoryContactStore>();
    std::shared_ptr<ContactsToolHandler> category;
    std::shared_ptr<LocalToolService> service;
};

mcp::Value numbers(std::initializer_list<const char*> list) {
    mcp::Value::Array array;
    for (const char* number : list) {
        array.emplace_back(number);
    }
    return array;
}

TEST_F(ContactsToolsTest, WithoutAccessEveryNameGetsTheAccessErrorNamingTheFolder) {
    store->setAccess(platform::ContactStoreAccess::denied);
    const std::string refusal =
        "ContactsManager 1 Access denied or restricted. Lumenary needs to read the contacts folder /memory/contacts: "
        "make it a folder this user can read, or set LUMENARY_CONTACTS_DIR or the defaults key contactsDirectory to "
        "one that is.";
    EXPECT_EQ(call("get_all_contacts"), refusal);
    EXPECT_EQ(call("find_phone_number", {{"name", "Ana"}}), refusal);
    EXPECT_EQ(outcomeText(category->handle("send_fax", {})), refusal);
}

TEST_F(ContactsToolsTest, ANameOutsideTheCategoryIsUnknown) {
    EXPECT_EQ(outcomeText(category->handle("send_fax", {})), "ContactsTool 404 Unknown contacts tool: send_fax");
}

TEST_F(ContactsToolsTest, TheFullListHoldsNamedContactsWithNumbers) {
    store->add(namedContact("Ana", "", {"+1 555 0100"}));
    store->add(namedContact("", "Lee", {"+1 555 0101", "+1 555 0102"}));
    store->add(namedContact("No", "Number", {}));
    store->add(namedContact("", "", {"+1 555 0103"}));
    store->add({.name = std::nullopt, .formattedName = "Acme Support", .nicknames = {}, .phoneNumbers = {"0800"}});
    store->add({.name = platform::ContactName{}, .formattedName = "Only FN", .nicknames = {}, .phoneNumbers = {"1"}});
    EXPECT_EQ(allContacts(), mcp::Value(mcp::Value::Object{{"Ana", numbers({"+1 555 0100"})},
                                                           {"Lee", numbers({"+1 555 0101", "+1 555 0102"})},
                                                           {"Acme Support", numbers({"0800"})}}));
}

TEST_F(ContactsToolsTest, ContactsSharingADisplayNameKeepEveryNumberOnceAndEachCounts) {
    store->add(namedContact("Ana", "Lee", {"+1", "+2"}));
    store->add(namedContact("Ana", "Lee", {"+2", "+3"}));
    store->add(namedContact("Bo", "Chen", {"+4"}));
    EXPECT_EQ(allContacts(), mcp::Value(mcp::Value::Object{{"Ana Lee", numbers({"+1", "+2", "+3"})},
                                                           {"Bo Chen", numbers({"+4"})}}));
    EXPECT_EQ(allContacts({{"limit", std::int64_t{2}}}),
              mcp::Value(mcp::Value::Object{{"Ana Lee", numbers({"+1", "+2", "+3"})}}));
}

TEST_F(ContactsToolsTest, TheLimitStopsTheEnumeration) {
    for (int index = 0; index < 10; ++index) {
        store->add(namedContact("Person", std::to_string(index), {std::to_string(index)}));
    }
    struct Case {
        PlainDictionary arguments;
        std::size_t entries;
        std::size_t handedOut;
    };
    const Case cases[] = {
        {{{"limit", std::int64_t{3}}}, 3, 4},
        {{{"limit", std::int64_t{0}}}, 0, 1},
        {{{"limit", std::int64_t{-5}}}, 0, 1},
        {{{"limit", "3"}}, 10, 10},
        {{{"limit", 3.0}}, 10, 10},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(allContacts(testCase.arguments).objectValue()->size(), testCase.entries);
        EXPECT_EQ(store->lastHandedOut(), testCase.handedOut);
    }
}

TEST_F(ContactsToolsTest, TheListIsPrettyPrintedWithSlashesEscaped) {
    store->add(namedContact("A/B", "", {"1/2"}));
    EXPECT_EQ(call("get_all_contacts"), "{\n  \"A\\/B\": [\n    \"1\\/2\"\n  ]\n}");
}

TEST_F(ContactsToolsTest, FindingANumber) {
    store->add(namedContact("Li", "", {"+86 1"}));
    store->add(namedContact("Joanne", "Ng", {"+65 1"}));
    store->add(namedContact("Anne", "Lee", {"+1 1", "+1 2"}));
    store->add({.name = std::nullopt, .formattedName = "Dr. Bo Chen", .nicknames = {"Bobby"}, .phoneNumbers = {"+44"}});
    struct Case {
        const char* name;
        const char* answer;
    };
    const Case cases[] = {
        {"anne lee", "+1 1, +1 2"},
        {"  ANNE LEE \n", "+1 1, +1 2"},
        {"ann le", "+1 1, +1 2"},
        {"bobby", "+44"},
        {"chen", "+44"},
        // No word begins with "nne": the fallback takes the first display
        // name holding it in the store's order, not in the alphabet's.
        {"nne", "+65 1"},
        {"nne le", "+1 1, +1 2"},
        {"please call Anne Lee today", "+1 1, +1 2"},
        {"ask li", "+86 1"},
        {"Alice", "No phone numbers found for 'Alice'"},
        {"Elias", "No phone numbers found for 'Elias'"},
        {"   ", "No phone numbers found for '   '"},
        {"\u00A0\t\u3000", "No phone numbers found for '\u00A0\t\u3000'"},
        {"--", "No phone numbers found for '--'"},
        {" Zed ", "No phone numbers found for ' Zed '"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(call("find_phone_number", {{"name", testCase.name}}), testCase.answer) << testCase.name;
    }
}

TEST_F(ContactsToolsTest, FindingANumberNeedsATextName) {
    EXPECT_EQ(call("find_phone_number"), "ContactsTool 400 Missing name argument");
    EXPECT_EQ(call("find_phone_number", {{"name", std::int64_t{7}}}), "ContactsTool 400 Missing name argument");
}

TEST_F(ContactsToolsTest, ANameLongerThanAnyPersonsIsRefused) {
    store->add(namedContact("Ana", "Lee", {"+1 1"}));
    const auto repeated = [](const std::string& text, std::size_t times) {
        std::string result;
        for (std::size_t index = 0; index < times; ++index) {
            result += text;
        }
        return result;
    };
    struct Case {
        std::string name;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {"Ana Lee" + repeated(" ", 993), "+1 1"},
        {repeated("王", 1000), "No phone numbers found for '" + repeated("王", 1000) + "'"},
        {"Ana Lee" + repeated(" ", 994), "ContactsTool 400 Name argument too long: 1001 characters, at most 1000"},
        {repeated("王", 1001), "ContactsTool 400 Name argument too long: 1001 characters, at most 1000"},
        {repeated("王", 175000), "ContactsTool 400 Name argument too long: 175000 characters, at most 1000"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(call("find_phone_number", {{"name", testCase.name}}), testCase.answer)
            << testCase.name.substr(0, 40);
    }
}

TEST_F(ContactsToolsTest, AFailingEnumerationIsPassedOn) {
    store->failEnumeration({"ContactStore", 500, "Cannot read the contacts folder"});
    EXPECT_EQ(call("get_all_contacts"), "ContactStore 500 Cannot read the contacts folder");
    EXPECT_EQ(call("find_phone_number", {{"name", "Ana"}}), "ContactStore 500 Cannot read the contacts folder");
}

TEST_F(ContactsToolsTest, OverAVCardFolder) {
    lumenary::testing::TemporaryDirectory folder;
    std::filesystem::create_directory(folder.path() / "work");
    std::ofstream(folder.path() / "b.vcf") << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ana;;;\r\nFN:Ana Lee\r\n"
                                              "TEL;TYPE=cell:+1 555 0100\r\nEND:VCARD\r\n";
    std::ofstream(folder.path() / "work" / "a.vcf") << "BEGIN:VCARD\nVERSION:4.0\nFN:Bo Chen\n"
                                                       "TEL;VALUE=uri:tel:+44-20\nEND:VCARD\n";
    std::vector<std::string> reports;
    useStore(std::make_shared<platform::VCardFolderContactStore>(
        folder.path(), platform::VCardFolderContactStore::processMayRead,
        [&reports](const std::string& line) { reports.push_back(line); }));
    EXPECT_EQ(allContacts(),
              mcp::Value(mcp::Value::Object{{"Ana Lee", numbers({"+1 555 0100"})}, {"Bo Chen", numbers({"+44-20"})}}));
    EXPECT_EQ(call("find_phone_number", {{"name", "bo"}}), "+44-20");
    EXPECT_TRUE(reports.empty());
}

TEST_F(ContactsToolsTest, NamesInEastAsianScriptsAreWrittenFamilyNameFirstAndFoundInEitherOrder) {
    struct Case {
        const char* version;
        const char* structuredName;
        const char* number;
        const char* displayName;
        std::vector<const char*> lookups;
    };
    const std::vector<Case> cases{
        {"4.0", "王;小明;;;", "+86 1", "王小明", {"王小明", "王 小明", "小明 王", "小明王"}},
        {"3.0", "李;娜;;;", "+86 2", "李娜", {"李娜", "娜 李"}},
        {"4.0", "田中;花子;;;", "+81 1", "田中花子", {"田中花子", "花子 田中"}},
        {"3.0", "タナカ;ハナコ;;;", "+81 2", "タナカハナコ", {"タナカハナコ", "ハナコ タナカ", "タナカ ハナコ"}},
        {"4.0", "김;민준;;;", "+82 1", "김민준", {"김민준", "김 민준", "민준 김", "민준김"}},
        {"3.0", "Lee;Anne;;;", "+1 1", "Anne Lee", {"Anne Lee", "lee anne"}},
        {"4.0", "Wang;Xiaoming;;;", "+86 3", "Xiaoming Wang", {"Xiaoming Wang", "Wang Xiaoming"}},
    };
    lumenary::testing::TemporaryDirectory folder;
    mcp::Value::Object expectedList;
    for (std::size_t index = 0; index < cases.size(); ++index) {
        const auto& testCase = cases[index];
        std::ofstream(folder.path() / (std::to_string(index) + ".vcf"))
            << "BEGIN:VCARD\r\nVERSION:" << testCase.version << "\r\nN:" << testCase.structuredName
            << "\r\nFN:x\r\nTEL:" << testCase.number << "\r\nEND:VCARD\r\n";
        expectedList.emplace(testCase.displayName, numbers({testCase.number}));
    }
    useStore(std::make_shared<platform::VCardFolderContactStore>(folder.path()));
    EXPECT_EQ(allContacts(), mcp::Value(expectedList));
    for (const auto& testCase : cases) {
        for (const char* lookup : testCase.lookups) {
            EXPECT_EQ(call("find_phone_number", {{"name", lookup}}), testCase.number) << lookup;
        }
    }
}

TEST_F(ContactsToolsTest, AFileInPlaceOfTheFolderIsRefused) {
    lumenary::testing::TemporaryDirectory folder;
    const auto path = folder.path() / "contacts";
    std::ofstream(path) << "not a folder";
    useStore(std::make_shared<platform::VCardFolderContactStore>(path));
    EXPECT_EQ(call("get_all_contacts"),
              "ContactsManager 1 Access denied or restricted. Lumenary needs to read the contacts folder " +
                  path.string() +
                  ": make it a folder this user can read, or set LUMENARY_CONTACTS_DIR or the defaults key "
                  "contactsDirectory to one that is.");
}

}  // namespace
}  // namespace lumenary::app
