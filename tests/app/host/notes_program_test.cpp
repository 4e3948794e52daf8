// The notes category in the real program, over a real notes folder that the
// environment names, switched on by the user's defaults.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/host/program_test_support.hpp"
#include "mcp/core/json.hpp"
#include "support/child_process.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

class NotesProgramTest : public ::testing::Test {
protected:
    NotesProgramTest() {
        ::setenv("LUMENARY_CONFIG_DIR", folder.path().c_str(), 1);
        ::setenv("LUMENARY_NOTES_DIR", notes.c_str(), 1);
        std::ofstream(folder.path() / "defaults.json")
            << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isNotesEnabled":true})";
    }
    ~NotesProgramTest() override {
        ::unsetenv("LUMENARY_NOTES_DIR");
        ::unsetenv("LUMENARY_CONFIG_DIR");
    }

    // The text of a tools/call result ("Error: ..." when it failed).
    std::string callTool(testing::ChildProcess& program, const std::string& name, const std::string& arguments) {
        return testing::toolCallText(program, ++lastID, name, arguments);
    }

    std::string errors() const {
        std::ifstream file(folder.path() / "notes.err");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    lumenary::testing::TemporaryDirectory folder;
    std::filesystem::path notes = folder.path() / "notes";
    int lastID = 1;
};

TEST_F(NotesProgramTest, CreatesSearchesAndListsNotesInTheNotesFolder) {
    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "notes.err").string());
    program.writeLine(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
                      R"("capabilities":{},"clientInfo":{"name":"test","version":"1"}}})");
    ASSERT_TRUE(program.readLine()) << errors();

    EXPECT_EQ(callTool(program, "create_note", R"({"title":"Trip","content":"Pack the tent","folder":"Travel"})"),
              "Created note 'Trip' in folder 'Travel'")
        << errors();
    EXPECT_TRUE(std::filesystem::is_regular_file(notes / "Travel" / "Trip.md"));
    EXPECT_EQ(callTool(program, "search_notes", R"({"query":"TENT"})"), "Title: Trip\nContent: Pack the tent\n---");
    EXPECT_EQ(callTool(program, "list_notes", "{}"), "1. Trip");

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
    EXPECT_EQ(program.readAll(), "") << "standard output carries only MCP messages";
}

}  // namespace
}  // namespace lumenary
