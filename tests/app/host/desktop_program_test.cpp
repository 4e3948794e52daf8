// The desktop-control category in the real program, switched on by the
// user's defaults, in a session without a display or a bus.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "app/host/program_test_support.hpp"
#include "mcp/core/json.hpp"
#include "support/child_process.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

TEST(DesktopProgramTest, WithoutADisplayEveryDesktopToolSaysWhatIsMissing) {
    lumenary::testing::TemporaryDirectory folder;
    lumenary::testing::ScopedEnvironment environment;
    environment.set("LUMENARY_CONFIG_DIR", folder.path().string());
    environment.set("DISPLAY", std::nullopt);
    environment.set("AT_SPI_BUS_ADDRESS", std::nullopt);
    environment.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/lumenary-test-bus");
    std::ofstream(folder.path() / "defaults.json")
        << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isMacOSEnabled":true})";

    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "desktop.err").string());
    program.writeLine(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
                      R"("capabilities":{},"clientInfo":{"name":"test","version":"1"}}})");
    ASSERT_TRUE(program.readLine());
    program.writeLine(R"({"jsonrpc":"2.0","id":2,"method":"tools/list","params":{}})");
    const auto list = program.readLine();
    ASSERT_TRUE(list);
    const mcp::Value listed = mcp::parseJSON(*list);
    std::vector<std::string> names;
    for (const auto& tool : *listed.find("result")->find("tools")->arrayValue()) {
        names.push_back(*tool.find("name")->stringValue());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"macos_check_permission", "macos_list_apps", "macos_get_ui_tree",
                                               "macos_click_element", "macos_type_text"}));

    const std::string missing =
        "No X display is set: run Lumenary in an X11 or XWayland session, or set DISPLAY to one. The accessibility "
        "bus does not answer: install at-spi2-core and run Lumenary in a desktop session with a session bus "
        "(DBUS_SESSION_BUS_ADDRESS).";
    const std::pair<std::string, std::string> calls[] = {
        {R"("macos_check_permission","arguments":{})", "Permission Denied. " + missing},
        {R"("macos_click_element","arguments":{"x":100,"y":200})",
         "Permission Denied. 'Lumenary' needs an X display with XTest and the accessibility bus. " + missing},
    };
    int id = 3;
    for (const auto& [call, answer] : calls) {
        program.writeLine(R"({"jsonrpc":"2.0","id":)" + std::to_string(id++) +
                          R"(,"method":"tools/call","params":{"name":)" + call + "}}");
        const auto line = program.readLine();
        ASSERT_TRUE(line);
        const auto result = *mcp::parseJSON(*line).find("result");
        EXPECT_EQ(*result.find("content")->arrayValue()->at(0).find("text")->stringValue(), answer);
    }

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), 0);
}

}  // namespace
}  // namespace lumenary
