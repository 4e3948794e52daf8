#include "app/settings/launch_at_login_manager.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "support/temporary_directory.hpp"

namespace lumenary::app {
namespace {

namespace fs = std::filesystem;

struct LaunchAtLoginManagerTest : ::testing::Test {
    testing::TemporaryDirectory folder;
    fs::path autostart = folder.path() / "autostart";
    fs::path entry = autostart / "lumenary.desktop";
    std::string executable = (folder.path() / "lumenary").string();
    std::shared_ptr<std::vector<std::string>> lines = std::make_shared<std::vector<std::string>>();

    LaunchAtLoginManagerTest() {
        std::ofstream(executable) << "#!/bin/sh\n";
        fs::permissions(executable, fs::perms::owner_all);
    }

    LaunchAtLoginManager manager() {
        const auto path = executable;
        return LaunchAtLoginManager(
            platform::LoginItem(entry, [path] { return path; }),
            logging::Console("[LaunchAtLogin] ", [lines = lines](std::string line) { lines->push_back(line); }));
    }

    void writeEntry(const std::string& text) {
        fs::create_directories(autostart);
        std::ofstream(entry) << text;
    }
};

TEST_F(LaunchAtLoginManagerTest, StartsFromTheEntryAndFollowsEachSwitch) {
    auto switcher = manager();
    EXPECT_FALSE(switcher.isEnabled());
    EXPECT_TRUE(switcher.setEnabled(true));
    EXPECT_TRUE(switcher.setEnabled(true));
    EXPECT_TRUE(fs::exists(entry));
    EXPECT_TRUE(manager().isEnabled()) << "a new manager reads the entry";
    EXPECT_FALSE(switcher.setEnabled(false));
    EXPECT_FALSE(switcher.setEnabled(false));
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(lines->empty());
}

TEST_F(LaunchAtLoginManagerTest, AFailedSwitchLogsOneLineAndShowsWhatTheEntrySays) {
    struct Case {
        std::string what;
        std::function<void()> arrange;
        bool asked;
        bool shown;
    };
    const std::string foreign =
        "[Desktop Entry]\nType=Application\nName=Lumenary\nExec=" + executable + "\nTryExec=" + executable + "\n";
    const std::vector<Case> cases = {
        {"autostart folder is a file", [&] { std::ofstream(autostart) << "file"; }, true, false},
        {"foreign entry kept", [&] { writeEntry(foreign); }, false, true},
    };
    for (const auto& c : cases) {
        fs::remove_all(autostart);
        lines->clear();
        c.arrange();
        auto switcher = manager();
        EXPECT_EQ(switcher.setEnabled(c.asked), c.shown) << c.what;
        EXPECT_EQ(switcher.isEnabled(), c.shown) << c.what;
        ASSERT_EQ(lines->size(), 1u) << c.what;
        EXPECT_TRUE(lines->front().starts_with("[LaunchAtLogin] cannot turn launch at login ")) << lines->front();
        EXPECT_NE(lines->front().find(autostart.string()), std::string::npos) << lines->front();
    }
}

TEST_F(LaunchAtLoginManagerTest, RefreshSeesChangesMadeOutsideTheProgram) {
    auto switcher = manager();
    ASSERT_TRUE(switcher.setEnabled(true));
    fs::remove(entry);
    EXPECT_TRUE(switcher.isEnabled());
    EXPECT_FALSE(switcher.refresh());
    writeEntry("[Desktop Entry]\nTryExec=" + executable + "\n");
    EXPECT_TRUE(switcher.refresh());
    writeEntry("[Desktop Entry]\nTryExec=" + executable + "\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(switcher.refresh());
}

}  // namespace
}  // namespace lumenary::app
