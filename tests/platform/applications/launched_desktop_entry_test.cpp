#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "platform/applications/launched_desktop_entry.hpp"
#include "support/child_process.hpp"
#include "support/process_observation.hpp"
#include "support/scoped_environment.hpp"

namespace lumenary::platform {
namespace {

TEST(LaunchedDesktopEntryTest, TheIdIsThePathBelowTheApplicationsFolder) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/share/applications/org.example.Editor.desktop", "org.example.Editor.desktop"},
        {"/home/ada/.local/share/applications/kde/editor.desktop", "kde-editor.desktop"},
        {"/opt/tools/editor.desktop", "editor.desktop"},
        {"editor.desktop", "editor.desktop"},
    };
    for (const auto& [path, identifier] : cases) {
        EXPECT_EQ(desktopEntryIdentifier(path), identifier) << path;
    }
}

TEST(LaunchedDesktopEntryTest, TheEntryComesFromTheLaunchedProcesssEnvironment) {
    struct Case {
        std::optional<std::string> launchedFile;
        std::string identifier;
    };
    const Case cases[] = {
        {"/usr/share/applications/org.example.Viewer.desktop", "org.example.Viewer.desktop"},
        {"", ""},
        {std::nullopt, ""},
    };
    for (const auto& testCase : cases) {
        lumenary::testing::ScopedEnvironment environment;
        environment.set("GIO_LAUNCHED_DESKTOP_FILE", testCase.launchedFile);
        lumenary::testing::ChildProcess child({"/bin/cat"});
        // Until the child has replaced itself with cat and laid out its new
        // arguments and environment, /proc shows the ones this test process
        // started with (or none).
        const auto commandLine = "/proc/" + std::to_string(child.pid()) + "/cmdline";
        ASSERT_TRUE(lumenary::testing::eventually([&] {
            std::ifstream file(commandLine, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            return text == std::string("/bin/cat", sizeof("/bin/cat"));
        }));
        EXPECT_EQ(launchedDesktopEntryIdentifier(child.pid()), testCase.identifier);
    }
}

TEST(LaunchedDesktopEntryTest, NoProcessHasNoEntry) {
    EXPECT_EQ(launchedDesktopEntryIdentifier(0), "");
    EXPECT_EQ(launchedDesktopEntryIdentifier(-1), "");
    EXPECT_EQ(launchedDesktopEntryIdentifier(999'999'999), "");
}

}  // namespace
}  // namespace lumenary::platform
