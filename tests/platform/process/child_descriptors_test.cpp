// Every way we start a program hands it its standard streams and what we
// give it on purpose, and nothing else: not even a descriptor this process
// left inheritable (a listening socket, a file), as a library might.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "platform/applications/url_opener.hpp"
#include "platform/process/process_launcher.hpp"
#include "platform/process/worker_process.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::platform {
namespace {

using namespace std::chrono_literals;

// Lists the descriptors the child holds into the file named by $1.
constexpr const char* listingScript = "#!/bin/sh\nexec ls -l /proc/self/fd > \"$1\"\n";

// The numbers of each "N -> target" line of the listing, but for the
// listing program's own handle on the folder it lists.
std::set<int> listedNumbers(const std::filesystem::path& listing) {
    std::set<int> numbers;
    std::ifstream file(listing);
    for (std::string line; std::getline(file, line);) {
        const auto arrow = line.find(" -> ");
        if (arrow == std::string::npos) {
            continue;
        }
        const auto target = line.substr(arrow + 4);
        if (target.starts_with("/proc/") && target.ends_with("/fd")) {
            continue;
        }
        const auto number = line.rfind(' ', arrow - 1);
        numbers.insert(std::stoi(line.substr(number + 1, arrow - number - 1)));
    }
    return numbers;
}

TEST(ChildDescriptors, EachLauncherHandsOnlyTheStandardStreamsAndWhatItGivesOnPurpose) {
    testing::TemporaryDirectory folder;
    const auto script = folder.path() / "list-descriptors";
    std::ofstream(script) << listingScript;
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    // Inheritable on purpose, as a careless library would leave them.
    asio::io_context context;
    asio::ip::tcp::acceptor listening(context, {asio::ip::make_address("127.0.0.1"), 0});
    const int file = ::open(script.c_str(), O_RDONLY);
    ASSERT_GE(file, 0);

    struct Case {
        const char* launcher;
        std::function<void(const std::string& listing)> start;
        std::set<int> expected;
    };
    const Case cases[] = {
        {"process launcher",
         [&](const std::string& listing) {
             ProcessLaunch launch;
             launch.executable = script;
             launch.arguments = {listing};
             const auto run = ProcessLauncher().run(launch);
             ASSERT_TRUE(run && run.value().exit) << (run ? "" : run.error().description);
         },
         {0, 1, 2}},
        {"worker process",
         [&](const std::string& listing) {
             auto worker = WorkerProcess::start(script, {listing});
             ASSERT_TRUE(worker) << worker.error().description;
             ASSERT_TRUE(worker.value().waitForExit(30s));
         },
         {0, 1, 2}},
        {"worker process on its own descriptors",
         [&](const std::string& listing) {
             auto worker = WorkerProcess::startOnOwnDescriptors(script, {listing}, {});
             ASSERT_TRUE(worker) << worker.error().description;
             ASSERT_TRUE(worker.value().waitForExit(30s));
         },
         {0, 1, 2, WorkerProcess::requestDescriptor, WorkerProcess::answerDescriptor}},
        {"URL opener",
         [&](const std::string& listing) { EXPECT_EQ(XdgUrlOpener(script, 30s).open(listing), std::nullopt); },
         {0, 1, 2}},
    };
    for (const auto& c : cases) {
        const auto listing = folder.path() / (std::string(c.launcher) + ".txt");
        c.start(listing);
        EXPECT_EQ(listedNumbers(listing), c.expected) << c.launcher;
    }
    ::close(file);
}

}  // namespace
}  // namespace lumenary::platform
