#include "platform/applications/login_item.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/desktop_entry.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {
namespace {

namespace fs = std::filesystem;
using testing::DesktopEntry;

std::string makeExecutable(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n";
    fs::permissions(path, fs::perms::owner_all);
    return path.string();
}

void writeEntryText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

std::string readEntryText(const fs::path& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

LoginItem itemStarting(const fs::path& entry, ExecutablePathResult executable) {
    return LoginItem(entry, [executable] { return executable; });
}

struct LoginItemTest : ::testing::Test {
    testing::TemporaryDirectory folder;
    fs::path entry = folder.path() / "config" / "autostart" / "lumenary.desktop";
};

TEST_F(LoginItemTest, EveryExecutablePathReadsBackUnchangedFromExecAndTryExec) {
    const std::vector<std::string> names = {
        "bin/lumenary",  "My Programs/lumenary app", "100%/lumenary %f",
        "quote\"d/it's", "dollar/$HOME`id`",         "back\\slash/\\\\s",
        "程序/Lümenary", "two  spaces/ end ",        "mixed/a \"$%`\\' z",
    };
    for (const auto& name : names) {
        const auto executable = makeExecutable(folder.path() / "programs" / name);
        const auto item = itemStarting(entry, executable);
        ASSERT_FALSE(item.registerItem()) << name;

        const auto read = DesktopEntry::read(entry);
        ASSERT_TRUE(read) << name;
        EXPECT_EQ(read->keys.at("Type"), "Application");
        EXPECT_EQ(read->keys.at("Name"), "Lumenary");
        EXPECT_EQ(read->keys.at("TryExec"), executable);
        EXPECT_EQ(read->keyLines, static_cast<int>(read->keys.size())) << "a key written twice";
        const auto arguments = DesktopEntry::execArguments(read->keys.at("Exec"));
        ASSERT_TRUE(arguments) << name << ": " << read->keys.at("Exec");
        EXPECT_EQ(*arguments, std::vector<std::string>{executable});
        EXPECT_TRUE(item.isRegistered()) << name;

        ASSERT_FALSE(item.unregisterItem()) << name;
        EXPECT_FALSE(fs::exists(entry)) << name;
        EXPECT_FALSE(item.isRegistered()) << name;
    }
}

TEST_F(LoginItemTest, APathNoEntryCanHoldIsRefusedWithoutWritingAnything) {
    const auto live = makeExecutable(folder.path() / "live");
    struct Case {
        std::string what;
        ExecutablePathResult executable;
    };
    const std::vector<Case> cases = {
        {"replaced binary", StaleExecutablePath{.reportedPath = live + "x (deleted)", .description = "gone"}},
        {"no path", StaleExecutablePath{.reportedPath = "", .description = "/proc/self/exe could not be read"}},
        {"line feed", live + "\n[Desktop Entry]\nExec=/bin/evil"},
        {"carriage return", live + "\rx"},
        {"tab", live + "\tx"},
        {"relative", std::string("bin/lumenary")},
        {"not UTF-8", live + "\xff\xfe"},
    };
    const std::string foreign =
        "[Desktop Entry]\nType=Application\nName=Other\nExec=" + live + "\nTryExec=" + live + "\n";
    for (const auto& c : cases) {
        for (const bool withEarlierEntry : {false, true}) {
            fs::remove_all(entry.parent_path());
            if (withEarlierEntry) {
                writeEntryText(entry, foreign);
            }
            const auto error = itemStarting(entry, c.executable).registerItem();
            ASSERT_TRUE(error) << c.what;
            EXPECT_EQ(error->domain, "LoginItem");
            EXPECT_FALSE(error->description.empty());
            if (withEarlierEntry) {
                EXPECT_EQ(readEntryText(entry), foreign) << c.what;
                EXPECT_EQ(std::distance(fs::directory_iterator(entry.parent_path()), {}), 1) << c.what;
            } else {
                EXPECT_FALSE(fs::exists(entry.parent_path())) << c.what;
            }
        }
    }
}

TEST_F(LoginItemTest, AnAutostartFolderThatIsAFileFailsWithItsPath) {
    const auto executable = makeExecutable(folder.path() / "lumenary");
    writeEntryText(entry.parent_path(), "not a folder");
    const auto item = itemStarting(entry, executable);

    const auto error = item.registerItem();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "LoginItem");
    EXPECT_NE(error->code, 0);
    EXPECT_NE(error->description.find(entry.parent_path().string()), std::string::npos) << error->description;
    EXPECT_FALSE(item.isRegistered());
    EXPECT_FALSE(item.unregisterItem());
    EXPECT_EQ(readEntryText(entry.parent_path()), "not a folder");
}

TEST_F(LoginItemTest, RegisteringReplacesAForeignEntryAndUnregisteringRemovesOnlyOurs) {
    const auto executable = makeExecutable(folder.path() / "lumenary");
    const auto other = makeExecutable(folder.path() / "other");
    const auto item = itemStarting(entry, executable);
    const std::string foreign =
        "[Desktop Entry]\nType=Application\nName=Lumenary\nExec=" + other + "\nTryExec=" + other + "\n";

    writeEntryText(entry, foreign);
    EXPECT_TRUE(item.isRegistered());
    const auto kept = item.unregisterItem();
    ASSERT_TRUE(kept);
    EXPECT_NE(kept->description.find("not written by Lumenary"), std::string::npos) << kept->description;
    EXPECT_EQ(readEntryText(entry), foreign);

    const std::string foreignOff = foreign + "Hidden=true\n";
    writeEntryText(entry, foreignOff);
    EXPECT_FALSE(item.unregisterItem()) << "an entry that starts nothing is no failure";
    EXPECT_EQ(readEntryText(entry), foreignOff);

    writeEntryText(entry, foreign);
    ASSERT_FALSE(item.registerItem());
    EXPECT_EQ(DesktopEntry::read(entry)->keys.at("TryExec"), executable);
    ASSERT_FALSE(item.unregisterItem());
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(std::distance(fs::directory_iterator(entry.parent_path()), {}), 0) << "no temporary file left";
}

TEST_F(LoginItemTest, CountsAsRegisteredOnlyWhenTheDesktopWouldStartIt) {
    const auto executable = makeExecutable(folder.path() / "lumenary");
    const auto data = (folder.path() / "data").string();
    writeEntryText(data, "not a program");
    const auto head = "[Desktop Entry]\nType=Application\nName=Lumenary\nExec=" + executable + "\n";
    struct Case {
        std::string what;
        std::string text;
        bool registered;
    };
    const std::vector<Case> cases = {
        {"plain", head + "TryExec=" + executable + "\n", true},
        {"spaces around =", head + "TryExec = " + executable + "\n", true},
        {"on by key", head + "TryExec=" + executable + "\nX-GNOME-Autostart-enabled=true\nHidden=false\n", true},
        {"off in another group", head + "TryExec=" + executable + "\n[Desktop Action x]\nHidden=true\n", true},
        {"program on PATH", head + "TryExec=sh\n", true},
        {"no TryExec", head, false},
        {"TryExec not executable", head + "TryExec=" + data + "\n", false},
        {"TryExec missing", head + "TryExec=" + executable + "-gone\n", false},
        {"hidden", head + "TryExec=" + executable + "\nHidden=true\n", false},
        {"disabled", head + "TryExec=" + executable + "\nX-GNOME-Autostart-enabled=false\n", false},
        {"other group only", "[Other]\nTryExec=" + executable + "\n", false},
    };
    for (const auto& c : cases) {
        writeEntryText(entry, c.text);
        EXPECT_EQ(itemStarting(entry, executable).isRegistered(), c.registered) << c.what;
    }
    fs::remove(entry);
    EXPECT_FALSE(itemStarting(entry, executable).isRegistered()) << "no file";
}

TEST(LoginItemLocation, FollowsTheBaseDirectoryRules) {
    struct Case {
        std::optional<std::string> configHome;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/tmp/cfg", "/tmp/cfg/autostart/lumenary.desktop"},
        {"relative/cfg", "/home/someone/.config/autostart/lumenary.desktop"},
        {"", "/home/someone/.config/autostart/lumenary.desktop"},
        {std::nullopt, "/home/someone/.config/autostart/lumenary.desktop"},
    };
    for (const auto& c : cases) {
        testing::ScopedEnvironment environment;
        environment.set("HOME", "/home/someone");
        environment.set("XDG_CONFIG_HOME", c.configHome);
        EXPECT_EQ(LoginItem::userEntryPath(), c.expected) << c.configHome.value_or("(unset)");
    }
}

}  // namespace
}  // namespace lumenary::platform
