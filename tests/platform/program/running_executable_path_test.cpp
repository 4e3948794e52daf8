#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/program/running_executable_path.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {
namespace {

namespace fs = std::filesystem;

TEST(RunningExecutablePath, TheDeletedMarkIsDroppedOnlyWhenAnExecutableStandsAtThePath) {
    const testing::TemporaryDirectory folder;
    const auto rebuilt = (folder.path() / "rebuilt").string();
    std::ofstream(rebuilt) << "#!/bin/sh\n";
    fs::permissions(rebuilt, fs::perms::owner_all);
    const auto data = (folder.path() / "data").string();
    std::ofstream(data) << "not a program";
    fs::permissions(data, fs::perms::owner_read | fs::perms::owner_write);
    const auto directory = (folder.path() / "directory").string();
    fs::create_directory(directory);
    const auto gone = (folder.path() / "gone").string();

    struct Case {
        std::string reported;
        std::optional<std::string> path;  // nothing: stale
    };
    const std::vector<Case> cases = {
        {rebuilt, rebuilt},
        {gone, gone},  // the system names a live file: taken as it is
        {rebuilt + " (deleted)", rebuilt},
        {gone + " (deleted)", std::nullopt},
        {data + " (deleted)", std::nullopt},
        {directory + " (deleted)", std::nullopt},
        {rebuilt + "(deleted)", rebuilt + "(deleted)"},
    };
    for (const auto& c : cases) {
        const auto result = executablePathFromReport(c.reported);
        if (c.path) {
            ASSERT_TRUE(std::holds_alternative<std::string>(result)) << c.reported;
            EXPECT_EQ(std::get<std::string>(result), *c.path);
        } else {
            ASSERT_TRUE(std::holds_alternative<StaleExecutablePath>(result)) << c.reported;
            const auto& stale = std::get<StaleExecutablePath>(result);
            EXPECT_EQ(stale.reportedPath, c.reported);
            const auto remaining = c.reported.substr(0, c.reported.size() - std::string(" (deleted)").size());
            EXPECT_NE(stale.description.find(remaining + " was replaced or removed"), std::string::npos)
                << stale.description;
        }
    }
}

TEST(RunningExecutablePath, NamesThisProgram) {
    const auto result = runningExecutablePath();
    ASSERT_TRUE(std::holds_alternative<std::string>(result));
    EXPECT_TRUE(fs::equivalent(std::get<std::string>(result), "/proc/self/exe"));
}

}  // namespace
}  // namespace lumenary::platform
