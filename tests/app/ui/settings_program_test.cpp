// "退出" on the settings page of the real program under a private X display:
// the same orderly stop as SIGTERM, exit status 0, the defaults on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/ui/panel_harness.hpp"
#include "app/ui/program_checks.hpp"
#include "app/ui/x_clicks.hpp"
#include "support/child_process.hpp"
#include "support/desktop_session.hpp"
#include "support/raw_connection.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::app::testing {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::ChildProcess;
using lumenary::testing::DesktopSession;
using lumenary::testing::ScopedEnvironment;
using lumenary::testing::TemporaryDirectory;

// The panel window's height once it has held still for longer than a page
// move lasts, and differs from `other`.
std::optional<int> settledHeight(XClicks& clicks, std::optional<int> other) {
    std::optional<int> height;
    auto since = std::chrono::steady_clock::now();
    const bool settled = waitUntil(
        [&] {
            const auto size = clicks.size("Lumenary");
            const auto now = std::chrono::steady_clock::now();
            if (!size || size->height != height) {
                height = size ? std::optional<int>(size->height) : std::nullopt;
                since = now;
                return false;
            }
            return height != other && now - since > 700ms;
        },
        20s);
    return settled ? height : std::nullopt;
}

TEST(SettingsProgram, QuitOnTheSettingsPageEndsTheProgramLikeSIGTERMWithTheDefaultsOnDisk) {
    auto started = DesktopSession::start();
    if (auto* reason = std::get_if<std::string>(&started)) {
        GTEST_SKIP() << "no private desktop: " << *reason;
    }
    const auto session = std::get<std::unique_ptr<DesktopSession>>(std::move(started));
    TemporaryDirectory folder;
    const std::uint16_t port = freeLoopbackPort();
    // Onboarding finished, so no first-run window lies over the panel.
    std::ofstream(folder.path() / "defaults.json")
        << R"({"hasCompletedOnboarding":true,"mcp_server_port":)" << port << "}";
    ScopedEnvironment environment;
    environment.set("LUMENARY_CONFIG_DIR", folder.path().string());
    environment.set("XDG_CONFIG_HOME", (folder.path() / "config").string());
    environment.set("XDG_DATA_HOME", (folder.path() / "data").string());
    environment.set("LUMENARY_NO_PANEL", std::nullopt);
    if (const char* options = std::getenv("ASAN_OPTIONS")) {
        // As in the panel's program tests: no strict string check for
        // libxkbcommon, and no leak check at exit for Qt's ending threads.
        environment.set("ASAN_OPTIONS", std::string(options) + ":strict_string_checks=0:detect_leaks=0");
    }
    const auto errorPath = folder.path() / "program.err";
    ChildProcess program({lumenary::testing::siblingProgram("lumenary")}, -1, errorPath.string());
    XClicks clicks(session->display());
    ASSERT_TRUE(clicks.isOpen());
    ASSERT_TRUE(waitUntil([&] { return serves(port); }, 20s)) << readFile(errorPath);

    // No tray host: the panel is an ordinary window. "设置" is the last row
    // of the main page and "退出" the last block of the settings page, so
    // each lies just above the panel's bottom edge.
    const auto mainHeight = settledHeight(clicks, std::nullopt);
    ASSERT_TRUE(mainHeight.has_value()) << readFile(errorPath);
    ASSERT_TRUE(clicks.click("Lumenary", 200, *mainHeight - 26));
    const auto settingsHeight = settledHeight(clicks, mainHeight);
    ASSERT_TRUE(settingsHeight.has_value()) << "the settings page never opened\n" << readFile(errorPath);
    ASSERT_TRUE(clicks.click("Lumenary", 200, *settingsHeight - 26));

    const auto status = program.waitForExit(20s);
    ASSERT_TRUE(status.has_value()) << "still running after \"退出\"\n" << readFile(errorPath);
    EXPECT_EQ(*status, 0) << readFile(errorPath);
    const std::string defaults = readFile(folder.path() / "defaults.json");
    EXPECT_NE(defaults.find("\"mcp_server_port\":" + std::to_string(port)), std::string::npos) << defaults;
    EXPECT_NE(defaults.find("\"hasCompletedOnboarding\":true"), std::string::npos) << defaults;
}

}  // namespace
}  // namespace lumenary::app::testing
