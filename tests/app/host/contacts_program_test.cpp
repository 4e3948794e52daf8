// The contacts category in the real program, over a folder of vCard files
// that the environment names, switched on by the user's defaults.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>

#include "app/host/program_test_support.hpp"
#include "mcp/core/json.hpp"
#include "support/child_process.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

class ContactsProgramTest : public ::testing::Test {
protected:
    ContactsProgramTest() {
        ::setenv("LUMENARY_CONFIG_DIR", folder.path().c_str(), 1);
        ::setenv("LUMENARY_CONTACTS_DIR", contacts.c_str(), 1);
        std::ofstream(folder.path() / "defaults.json")
            << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isContactsEnabled":true})";
        std::filesystem::create_directories(contacts / "friends");
        std::ofstream(contacts / "friends" / "ana.vcf")
            << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ana;;;\r\nFN:Ana Lee\r\nTEL;TYPE=cell:+1 555 0100\r\nEND:VCARD\r\n";
    }
    ~ContactsProgramTest() override { ::unsetenv("LUMENARY_CONTACTS_DIR"); }

    // The text of a tools/call result ("Error: ..." when it failed).
    std::string callTool(testing::ChildProcess& program, const std::string& name, const std::string& arguments) {
        return testing::toolCallText(program, ++lastID, name, arguments);
    }

    lumenary::testing::TemporaryDirectory folder;
    std::filesystem::path contacts = folder.path() / "contacts";
    int lastID = 1;
};

TEST_F(ContactsProgramTest, ListsAndFindsContactsInTheContactsFolder) {
    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "contacts.err").string());
    program.writeLine(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
                      R"("capabilities":{},"clientInfo":{"name":"test","version":"1"}}})");
    ASSERT_TRUE(program.readLine());

    EXPECT_EQ(callTool(program, "get_all_contacts", "{}"), "{\n  \"Ana Lee\": [\n    \"+1 555 0100\"\n  ]\n}");
    EXPECT_EQ(callTool(program, "find_phone_number", R"({"name":"ana"})"), "+1 555 0100");

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
}

}  // namespace
}  // namespace lumenary
